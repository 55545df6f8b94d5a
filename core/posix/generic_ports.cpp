// Other POSIX kernels (macOS, the BSDs): the calling-out devices /dev/cu.*,
// never their dial-in twins tty.*, which wait for a carrier a controller
// never raises. Nothing more is said of them.
#include "posix/kernel_ports.hpp"

#include <cstring>

namespace mexlink {

bool kernelListsPort(int, const char *name) { return std::strncmp(name, "cu.", 3) == 0 && name[3] != '\0'; }

void describeKernelPort(int, const char *, char *) {}

} // namespace mexlink
