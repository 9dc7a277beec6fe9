// The record the rasterizers share with the geometry side.
#include "raster/render_state.h"

namespace {

RenderState state = {nullptr, nullptr, nullptr, nullptr, 0, nullptr, DEFAULT_LIGHT};

}  // namespace

RenderState& render_state() {
    return state;
}

RenderList* current_render_list() {
    return state.current;
}
void set_current_render_list(RenderList* list) {
    state.current = list;
}

uint32_t* ordering_table_heads() {
    return state.ordering_table;
}
CallbackSlot* callback_slots() {
    return state.callbacks;
}
Texture** texture_slots() {
    return state.textures;
}
int32_t& texture_count() {
    return state.texture_count;
}

MarkerSlot* marker_slots() {
    return state.markers;
}

LightState* light_state() {
    return &state.light;
}
const LightState* light_colour() {
    return &state.light;
}
