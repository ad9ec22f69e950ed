#include "records/GlobalState.h"

namespace glfx {

LoadedEffect& loadedEffect() {
    static LoadedEffect effect;
    return effect;
}

} // namespace glfx
