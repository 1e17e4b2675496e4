// Test and benchmark programs download through the module the build made
// beside the program, as the program itself does.
#include "platform/HttpClient.h"

namespace {

const bool g_bModuleNamed = (platform::SetHttpModule(TAVDJ_HTTP_MODULE), true);

} // namespace
