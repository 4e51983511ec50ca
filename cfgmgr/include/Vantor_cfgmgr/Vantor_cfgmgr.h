// libVantor_cfgmgr: JSON configuration values, layering and the vlog logger.
#pragma once

#include "Vantor_cfgmgr/Containers.h"
#include "Vantor_cfgmgr/GenericSAX.h"
#include "Vantor_cfgmgr/Lib.h"
#include "Vantor_cfgmgr/Scalars.h"
#include "Vantor_cfgmgr/Value.h"
#include "Vantor_cfgmgr/vlog.h"
