// What the downloader needs of the operating system, as small interfaces.
// The logic calls these and never the system directly, so tests can swap any
// service for a fake and another system can bring its own implementation.
#pragma once

#include "platform/diagnostics.h"
#include "platform/file_system.h"
#include "platform/ipc.h"
#include "platform/key_store.h"
#include "platform/locations.h"
#include "platform/os_info.h"
#include "platform/processes.h"
#include "platform/services.h"
#include "platform/shell.h"
#include "platform/single_instance.h"
#include "platform/text.h"
