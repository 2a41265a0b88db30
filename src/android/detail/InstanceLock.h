#pragma once

// Moved to services: every guest shares the advisory lock.
#include "services/InstanceLock.h"
