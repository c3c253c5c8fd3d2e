// A copy of the plug-in as serve's tuner owner uses it: loaded and called
// through the host interface, as any host does.
#pragma once

#include <memory>

#include "host/serve/TunerPool.h"

std::unique_ptr<TunerDevice> MakeDriverDevice(const CopyInfo& copy);
