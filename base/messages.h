// The system's user-visible error texts, kept once, as code page 932 (Shift-JIS) bytes, each
// with the English line that the message boxes of the SDL program, the replay tool and the page
// show under it. The platform layer converts the Japanese texts where its message box wants
// another encoding; the Windows program shows them alone.
#pragma once

#include <cstdint>

// "%dbyteの領域の確保に失敗しました。" — allocating an area of %d bytes failed.
inline constexpr char TEXT_ALLOC_FAILED[] =
    "\x25\x64\x62\x79\x74\x65\x82\xcc\x97\xcc\x88\xe6\x82\xcc\x8a\x6d\x95\xdb\x82\xc9\x8e\xb8\x94"
    "\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// "画面バッファの作成に失敗しました。" — creating the screen buffer failed.
inline constexpr char TEXT_SCREEN_FAILED[] =
    "\x89\xe6\x96\xca\x83\x6f\x83\x62\x83\x74\x83\x40\x82\xcc\x8d\xec\x90\xac\x82\xc9\x8e\xb8\x94"
    "\x73\x82\xb5\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// "データがポリゴンバッファ領域を超えました。" — the packet area is full.
inline constexpr char TEXT_PACKET_AREA_FULL[] =
    "\x83\x66\x81\x5b\x83\x5e\x82\xaa\x83\x7c\x83\x8a\x83\x53\x83\x93\x83\x6f\x83\x62\x83\x74\x83"
    "\x40\x97\xcc\x88\xe6\x82\xf0\x92\xb4\x82\xa6\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// "頂点バッファが領域を超えました。" — the vertex pool is full.
inline constexpr char TEXT_VERTEX_POOL_FULL[] =
    "\x92\xb8\x93\x5f\x83\x6f\x83\x62\x83\x74\x83\x40\x82\xaa\x97\xcc\x88\xe6\x82\xf0\x92\xb4\x82"
    "\xa6\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// "カラーバッファが領域を超えました。" — the colour pool is full.
inline constexpr char TEXT_COLOUR_POOL_FULL[] =
    "\x83\x4a\x83\x89\x81\x5b\x83\x6f\x83\x62\x83\x74\x83\x40\x82\xaa\x97\xcc\x88\xe6\x82\xf0\x92"
    "\xb4\x82\xa6\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// "ＵＶバッファが領域を超えました。" — the texture-coordinate pool is full.
inline constexpr char TEXT_UV_POOL_FULL[] =
    "\x82\x74\x82\x75\x83\x6f\x83\x62\x83\x74\x83\x40\x82\xaa\x97\xcc\x88\xe6\x82\xf0\x92\xb4\x82"
    "\xa6\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// "法線バッファが領域を超えました。" — the normal pool is full.
inline constexpr char TEXT_NORMAL_POOL_FULL[] =
    "\x96\x40\x90\xfc\x83\x6f\x83\x62\x83\x74\x83\x40\x82\xaa\x97\xcc\x88\xe6\x82\xf0\x92\xb4\x82"
    "\xa6\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// "オブジェクトテーブルが領域を超えました。" — the object table is full: no slot for another part.
inline constexpr char TEXT_OBJECT_TABLE_FULL[] =
    "\x83\x49\x83\x75\x83\x57\x83\x46\x83\x4e\x83\x67\x83\x65\x81\x5b\x83\x75\x83\x8b\x82\xaa\x97"
    "\xcc\x88\xe6\x82\xf0\x92\xb4\x82\xa6\x82\xdc\x82\xb5\x82\xbd\x81\x42";
// "パーツが多すぎて、これ以上追加できません。" — too many parts: the figure's other parts leave
// no room for another, though it would fit alone.
inline constexpr char TEXT_TOO_MANY_PARTS[] =
    "\x83\x70\x81\x5b\x83\x63\x82\xaa\x91\xbd\x82\xb7\x82\xac\x82\xc4\x81\x41\x82\xb1\x82\xea\x88"
    "\xc8\x8f\xe3\x92\xc7\x89\xc1\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81\x42";

// Caption of every error message box (ASCII).
inline constexpr char ERROR_CAPTION[] = "Error";

// A Japanese text (a show_error format) and its English line, which takes the same argument.
struct MessageText {
    const char* japanese;
    const char* english;
};

// Every text above with its English line.
inline constexpr MessageText MESSAGE_TEXTS[] = {
    {TEXT_ALLOC_FAILED, "Could not allocate %d bytes of memory."},
    {TEXT_SCREEN_FAILED, "Could not create the screen buffer."},
    {TEXT_PACKET_AREA_FULL,
     "Too many triangles: the polygon buffer is full. Try a smaller outline."},
    {TEXT_VERTEX_POOL_FULL, "Too many vertices: the vertex buffer is full. Try a smaller outline."},
    {TEXT_COLOUR_POOL_FULL, "Too many colours: the colour buffer is full."},
    {TEXT_UV_POOL_FULL, "Too many texture coordinates: the UV buffer is full."},
    {TEXT_NORMAL_POOL_FULL, "Too many normals: the normal buffer is full. Try a smaller outline."},
    {TEXT_OBJECT_TABLE_FULL, "Too many parts: the object table is full."},
    {TEXT_TOO_MANY_PARTS,
     "Too many parts: the others fill the buffers. Remove a part (Backspace) or start again."},
};

// Room for any English line, terminator included.
inline constexpr int32_t ENGLISH_LINE_SIZE = 128;

// The English line of a text as show_error showed it (formatted: "80000byte..." for the
// allocation text), written into `out` of `out_size` bytes (cut to fit, always terminated);
// returns its length, or 0 with `out` empty for a text that is none of the above (a null text
// too), which then has no English line.
int32_t english_line(const char* shown, char* out, int32_t out_size);
