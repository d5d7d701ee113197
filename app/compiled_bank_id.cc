// The bank this executable serves. Built once per bank id, so that programs
// for several banks can share one core library.
#include "app/bank_profile.h"

#ifndef DOWNLOADER_BANK_ID
#error "DOWNLOADER_BANK_ID must be set by the build"
#endif

const uint32_t kCompiledBankId = DOWNLOADER_BANK_ID;
