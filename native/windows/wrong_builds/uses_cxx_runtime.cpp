// Something in the bridge that uses the C++ standard library: linked without
// -static-libstdc++, the DLL then needs libstdc++-6.dll, which a user's Windows does not have.
#include <string>

std::string describeStatus(unsigned status) {
    return "status " + std::to_string(status);
}
