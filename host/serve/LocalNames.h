// This PC's own addresses and names, read from the system: what serve prints
// as its URLs when it listens on every network, and what its clients may call
// it (see Request.h).
#pragma once

#include "host/serve/Address.h"

// The IPv4 addresses of the network adapters that are up (loopback left
// out), and the PC's DNS host name, full DNS name and NetBIOS name.
LocalNames ReadLocalNames();
