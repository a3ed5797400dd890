// The whole host contract of DarvikIPCapture in one include: the exports
// (Exports.h), the driver and its services (IIPCaptureDriver.h,
// IIPVideoCapture.h, ICaptureIOApi.h, IIPPTZ.h), the capability query
// (IIPCapabilityQuery.h, CapabilitySink.h), the objects the host supplies
// (HostServices.h, CapabilitySink.h), the log line (CDebugInfoIf.h) and the
// layout rules they share (Contract.h). docs/contract.md has every table.
//
// The headers are C++ (namespaces, classes) and declare no data: a host may
// include them from any number of sources. A host in C declares the same
// tables itself from the slot numbers given here.
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
