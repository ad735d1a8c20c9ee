#include "NHXHost.h"

#include <QDir>
#include <QFileInfo>

#include "HostInstanceServices.h"
#include "HostInstanceSettings.h"
#include "HostSelector.h"

namespace {

std::string WithTrailingSlash(std::string dir) {
    if (dir.empty() || dir.back() != '/') {
        dir += '/';
    }
    return dir;
}

std::string AbsoluteDir(const std::string& dir) {
    const QString path = dir.empty() ? QDir::currentPath() : QString::fromStdString(dir);
    return WithTrailingSlash(QFileInfo(path).absoluteFilePath().toStdString());
}

TNHXHostOptions CompleteOptions(TNHXHostOptions options) {
    options.KernelDir = AbsoluteDir(options.KernelDir);
    if (options.SettingsFile.empty()) {
        options.SettingsFile = options.KernelDir + "nhx-host.ini";
    }
    if (options.ScriptsDir.empty()) {
        options.ScriptsDir = options.KernelDir + "scripts";
    }
    return options;
}

}  // namespace

TNHXHost::TNHXHost(TNHXHostOptions options)
    : LogStore(std::make_shared<THostLog>()),
      Registry(std::make_shared<THostModuleRegistry>()),
      SelectorChoices(std::make_shared<THostSelectorChoices>()) {
    options = CompleteOptions(std::move(options));
    KernelObject =
        TNHXInterfacePtr<THostKernel>::Adopt(new THostKernel(LogStore, options.KernelDir));
    VariableManager =
        TNHXInterfacePtr<THostVariableManager>::Adopt(new THostVariableManager(LogStore));
    EventScripter = TNHXInterfacePtr<THostEventScripter>::Adopt(
        new THostEventScripter(LogStore, options.ScriptsDir));
    SettingsStore =
        TNHXInterfacePtr<THostSettings>::Adopt(new THostSettings(LogStore, options.SettingsFile));
    InstanceControl =
        TNHXInterfacePtr<THostInstanceControl>::Adopt(new THostInstanceControl(LogStore, Registry));
    ModuleLoader = TNHXInterfacePtr<THostModuleLoader>::Adopt(new THostModuleLoader(Registry));
    AddInLibrary = TNHXInterfacePtr<THostAddInLibrary>::Adopt(new THostAddInLibrary(LogStore));
    DebugServer = TNHXInterfacePtr<THostDebugServer>::Adopt(new THostDebugServer());

    THostKernel& kernel = *KernelObject.Get();
    kernel.AddService(IID_INHXEventScripter, EventScripter.Get());
    kernel.AddService(IID_INHXSettings, SettingsStore.Get());
    kernel.AddService(IID_INHXDebugServer, DebugServer.Get());
    kernel.AddService(IID_INHXInstanceControl, InstanceControl.Get());
    kernel.AddService(IID_INHXVariableManager, VariableManager.Get());
    kernel.AddService(IID_INHXModuleLoader, ModuleLoader.Get());
    kernel.AddService(IID_INHXAddInLibrary, AddInLibrary.Get());

    // Each module instance calls the scripter and the variables through a view of its own, so
    // its runs carry its number.
    kernel.SetInstanceServiceMaker(
        [scripter = EventScripter.Get(), variables = VariableManager.Get(),
         writes = std::make_shared<THostInstanceWrites>()](
            const GUID& iid, uint16_t instance) -> TNHXInterfacePtr<INHXUnknown> {
            if (iid == IID_INHXEventScripter) {
                return TNHXInterfacePtr<INHXUnknown>::Adopt(
                    new THostInstanceScripter(*scripter, instance, writes));
            }
            if (iid == IID_INHXVariableManager) {
                return TNHXInterfacePtr<INHXUnknown>::Adopt(
                    new THostInstanceVariables(*variables, instance, writes));
            }
            return {};
        });

    VariableManager->UseFile(options.VariablesOut);
    EventScripter->SetScriptTimeout(options.ScriptTimeoutSeconds * 1000);
    if (!options.HistoryFile.empty()) {
        EventScripter->UseHistory(options.HistoryFile, options.HistoryDays);
    }

    // A path chosen in a page reaches the instance only; the host keeps it for the next start.
    InstanceControl->SetPageClosedListener(
        [settings = SettingsStore.Get(), log = LogStore,
         defaultPath = options.KernelDir + "Database/Mondrel.sdb"](uint16_t number,
                                                                   INHXModule& module) {
            KeepInstanceSettings(*settings, *log, number, module, defaultPath);
        });

    std::shared_ptr<THostSelectorChoices> choices = SelectorChoices;
    Registry->Add(THostModuleEntry{CLSID_NHXSelectorModule, "Selector",
                                   [choices](uint16_t, INHXModule** out) {
                                       *out = new THostSelector(choices);
                                       return S_OK;
                                   }});
}

TNHXHost::~TNHXHost() {
    Shutdown();
    // A module may hold the instance control beyond the host; the settings go with the host.
    InstanceControl->SetPageClosedListener({});
    // The services reference each other only through the kernel; modules that still hold
    // references keep those objects alive on their own.
    KernelObject->ReleaseServices();
}

const TNHXModuleInfo& TNHXHost::LoadModule(const std::string& path) {
    if (Library) {
        throw EModuleLoadError("A module is loaded already: " + Library->Path());
    }
    auto library = std::make_unique<TNHXModuleLibrary>(path);
    const TNHXModuleInfo& info = library->Info();
    NHXCreateInstanceFunc create = info.CreateInstance;
    // The kernel knows which instance asks for its services while it is made (the entry goes
    // before the kernel: UnloadModule removes it).
    Registry->Add(
        THostModuleEntry{info.ModuleID, library->Name(),
                         [create, kernel = KernelObject.Get()](uint16_t number, INHXModule** out) {
                             const uint16_t before = kernel->EnterInstance(number);
                             const NHXResult result = create(number, out);
                             kernel->EnterInstance(before);
                             return result;
                         }});
    Library = std::move(library);
    Log().AddHostNote(NHX_LOG_NOTICE, "Module " + Library->Name() + " loaded from " + path);
    return Library->Info();
}

const TNHXModuleLibrary& TNHXHost::Module() const {
    if (!Library) {
        throw EModuleLoadError("No module is loaded");
    }
    return *Library;
}

NHXResult TNHXHost::RegisterModule() {
    if (!Library) {
        return E_FAIL;
    }
    const NHXResult result = Library->Info().Register(Kernel());
    Registered = NHXSucceeded(result);
    return result;
}

void TNHXHost::CreateSettingsInstances() {
    if (!Library) {
        return;
    }
    const GUID moduleId = Library->Info().ModuleID;
    for (const uint16_t number : SettingsStore->Instances()) {
        if (number == 0 || InstanceControl->Find(number)) {
            continue;
        }
        Log().AddHostNote(NHX_LOG_NOTICE, "Creating instance #" + std::to_string(number) +
                                              " named in the settings");
        InstanceControl->SetNextNumber(number);
        THostInstance created;
        InstanceControl->Create(moduleId, created);
    }
}

NHXResult TNHXHost::UnregisterModule() {
    if (!Library) {
        return E_FAIL;
    }
    Registered = false;
    return Library->Info().Unregister();
}

void TNHXHost::UnloadModule() {
    if (!Library) {
        return;
    }
    const GUID moduleId = Library->Info().ModuleID;
    // Nothing of the module may be called once its code is gone.
    std::vector<uint16_t> numbers;
    for (const THostInstance& instance : InstanceControl->Instances()) {
        if (instance.ModuleID == moduleId) {
            numbers.push_back(instance.Number);
        }
    }
    for (auto it = numbers.rbegin(); it != numbers.rend(); ++it) {
        InstanceControl->DeleteInstance(*it);
    }
    if (AddInLibrary->ForgetModule(moduleId) > 0) {
        Log().AddHostNote(NHX_LOG_ERROR, "Module " + Library->Name() +
                                             " left its add-in registered; it is dropped");
    }
    Registry->Remove(moduleId);
    const std::string name = Library->Name();
    Library.reset();
    Registered = false;
    Log().AddHostNote(NHX_LOG_NOTICE, "Module " + name + " unloaded");
}

void TNHXHost::Shutdown() {
    InstanceControl->ReleaseAll();
    if (Registered) {
        UnregisterModule();
    }
    UnloadModule();
}

const GUID& TNHXHost::ServiceIid(THostService service) {
    switch (service) {
        case THostService::EventScripter:
            return IID_INHXEventScripter;
        case THostService::Settings:
            return IID_INHXSettings;
        case THostService::DebugServer:
            return IID_INHXDebugServer;
        case THostService::InstanceControl:
            return IID_INHXInstanceControl;
        case THostService::VariableManager:
            return IID_INHXVariableManager;
        case THostService::ModuleLoader:
            return IID_INHXModuleLoader;
        case THostService::AddInLibrary:
            break;
    }
    return IID_INHXAddInLibrary;
}

void TNHXHost::RefuseService(THostService service, bool refuse) {
    KernelObject->SetRefused(ServiceIid(service), refuse);
}

void TNHXHost::RefuseAllServices(bool refuse) {
    for (THostService service :
         {THostService::EventScripter, THostService::Settings, THostService::DebugServer,
          THostService::InstanceControl, THostService::VariableManager, THostService::ModuleLoader,
          THostService::AddInLibrary}) {
        RefuseService(service, refuse);
    }
}
