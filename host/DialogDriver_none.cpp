#include "DialogDriver.h"

namespace panel {
namespace dialogs {

void start(ScriptLines&, std::ostream&) {}
void stop() {}

}  // namespace dialogs
}  // namespace panel
