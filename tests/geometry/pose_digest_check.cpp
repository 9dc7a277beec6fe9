// pose_digest_check: the posing test's drag solved and its digest compared
// with the one every build must give. Built natively (a test), for Windows
// (run under Wine by tools/test-windows.sh) and for WebAssembly (run under
// Node.js by tools/test-web.sh), where the unit tests are not built. Exit
// status 0 when the digest matches, 1 when it differs or the rig was not built.
#include <cstdio>

#include "support/posed_figure.h"

int main() {
    PosedTestFigure posed;
    if (!pose_test_figure_swung(&posed)) {
        std::printf("pose digest: the rig was not built\n");
        return 1;
    }
    const bool same = posed.digest == POSE_DIGEST;
    std::printf("pose digest %016llx (expected %016llx): %s\n",
                static_cast<unsigned long long>(posed.digest),
                static_cast<unsigned long long>(POSE_DIGEST), same ? "same" : "DIFFERS");
    return same ? 0 : 1;
}
