// The driver's PTZ entry. IIPPTZDriver is what the host sees; CBasePTZHandler
// creates one PTZ control per channel on first demand, keeps it until it is
// deleted, and sets up the camera's preset file the first time a control
// needs it (the vendor names the file).
//
// Created by the driver's CreatePTZ and deleted by the driver's Close or
// destructor; the host never destroys it. GetPTZApi is called on the host's
// threads: m_lock serialises the creation of controls and of the preset
// file reader, so concurrent first calls for a channel make one control.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "darvik/Contract.h"
#include "darvik/IIPPTZ.h"
#include "presets/XMLPrepositionReader.h"
#include "thread/RecursiveLock.h"
#include "thread/SmartPtr.h"

namespace brevane {

class CBasePTZControl;
class IDriver;

class CIPPTZDriverIf : public IIPPTZDriver {
   protected:
    ~CIPPTZDriverIf() = default;
};

class CBasePTZHandler : public CIPPTZDriverIf {
    DARVIK_IMPLEMENT_SLOT0(CBasePTZHandler)

   public:
    CBasePTZHandler(IDriver* driver, const std::string& vendorName);

    // The channel's PTZ interface, created and opened on first demand; null
    // for a channel without PTZ or when the control cannot be opened (the
    // next call tries again).
    IIPPTZApi* GetPTZApi(std::uint32_t channel) override;
    // The preset file's name for this camera; false when it cannot be made.
    virtual bool GetPresetFileName(std::string& name) = 0;
    // A new, unopened control, or null.
    virtual CBasePTZControl* CreateControl(std::uint32_t channel, bool persistPresets) = 0;
    // Deletes every control (stopping its command thread).
    virtual void DeleteControls();
    // Creates the preset file reader. False when the reader could not be
    // created or its file not opened; true also when the file name could
    // not be made (no reader then). Called with m_lock held.
    virtual bool InitializeXMLStorage() REQUIRES(m_lock);
    virtual ~CBasePTZHandler();

    // For tests and tools: the shared preset file reader (empty until set up).
    TSmartPtr<CXMLPrepositionReader> GetReader();

   protected:
    IDriver* const m_driver;

   private:
    // Tells the operator about a preset file the reader moved aside.
    void ReportSetAside(const CXMLPrepositionReader::SetAside& setAside);

    CRecursiveLock m_lock;
    std::map<std::uint32_t, CBasePTZControl*> m_controls GUARDED_BY(m_lock);  // owned
    const std::uint32_t m_channelCount = 1;
    TSmartPtr<CXMLPrepositionReader> m_reader GUARDED_BY(m_lock);
    const std::string m_vendorName;
};

}  // namespace brevane
