// The whole host contract of DarvikIPCapture in one include.
#pragma once

#include "darvik/CDebugInfoIf.h"
#include "darvik/CapabilitySink.h"
#include "darvik/Contract.h"
#include "darvik/Exports.h"
#include "darvik/HostServices.h"
#include "darvik/ICaptureIOApi.h"
#include "darvik/IIPCapabilityQuery.h"
#include "darvik/IIPCaptureDriver.h"
#include "darvik/IIPPTZ.h"
#include "darvik/IIPVideoCapture.h"
