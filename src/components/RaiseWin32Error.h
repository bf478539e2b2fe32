// Raising a system error code as ELastOSError: the component library's name for the routine, which
// lives beside ELastOSError so that the folder monitor of the task core raises the same message.
#pragma once

#include "platform/LastOSError.h"
