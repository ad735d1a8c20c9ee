// The module's add-in: registers itself with the host's add-in library, gives the host a name,
// a description and a bitmap, and opens the page of a new calendar instance on request.
#pragma once

#include "NHXObjects.h"
#include "NHXPtr.h"
#include "UNHXTypes.h"

class TNHXAddInPlugin : public TNHXObject<INHXMondrelAddIn> {
  public:
    static constexpr const char* Name = "Mondrel";
    static constexpr const char* Description = "Calendar for NHX - trigger scripts by date";

    // Registers the add-in and asks the host for a first calendar instance when the module
    // loader knows the module. The creator owns the one reference that keeps it alive.
    explicit TNHXAddInPlugin(INHXKernel* kernel);

    NHXResult NHXCALL GetName(NHXText* out) override;
    NHXResult NHXCALL GetDescription(NHXText* out) override;
    NHXResult NHXCALL GetBitmap(NHXBytes* out) override;
    NHXResult NHXCALL Open() override;

  protected:
    ~TNHXAddInPlugin() override;
    bool AnswersInterface(const GUID& iid) const override;

  private:
    TNHXInterfacePtr<INHXKernel> Kernel;
    TNHXInterfacePtr<INHXModuleLoader> ModuleLoader;
    TNHXInterfacePtr<INHXInstanceControl> InstanceControl;
    TNHXInterfacePtr<INHXAddInLibrary> AddInLibrary;
    // Plugin points back at this object without counting: the host must not keep it alive.
    TNHXAddIn AddIn{};
};
