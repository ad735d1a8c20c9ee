// The stand-in NHX host: a kernel with its services, one loaded module library and the host's own
// selector module. The program nhx-host drives it; tests construct it directly to drive a module
// through the real binary contract. Needs a Qt application object for script runs and timers.
//
// Typical use:
//   TNHXHost host({.KernelDir = dir, .ScriptsDir = dir + "scripts"});
//   host.LoadModule(path);          // dlopen, NHXModuleInfo
//   host.RegisterModule();          // Register(kernel)
//   ... host.Instances().Create(CLSID_Mondrel, instance) ...
//   host.Shutdown();                // ClosePage + release instances, Unregister, dlclose
#pragma once

#include <memory>
#include <string>

#include "HostAddInLibrary.h"
#include "HostDebugServer.h"
#include "HostEventScripter.h"
#include "HostInstanceControl.h"
#include "HostKernel.h"
#include "HostLog.h"
#include "HostModuleLoader.h"
#include "HostModuleRegistry.h"
#include "HostSelectorChoices.h"
#include "HostSettings.h"
#include "HostVariableManager.h"
#include "NHXModuleLibrary.h"
#include "NHXPtr.h"

struct TNHXHostOptions {
    // The host's base directory, answered by GetKernelDir with a trailing '/'. Default: the
    // current directory.
    std::string KernelDir;
    // The INI file of the settings store. Default: "nhx-host.ini" in the kernel directory.
    std::string SettingsFile;
    // The folder of the scripts. Default: "scripts/" in the kernel directory.
    std::string ScriptsDir;
    // The variables file (nhx-host's --variables): read at start, rewritten on every change;
    // empty: the variables live in memory only. The host's constructor raises
    // EVariablesFileError when it is a directory or unreadable.
    std::string VariablesOut;
    // The run history file, also the queue of script runs (nhx-host's --history; the program's
    // default is history.sdb in the kernel directory); empty: runs are kept in memory only.
    // Rows older than HistoryDays go (failures: twice as long). The constructor raises
    // EHistoryError when the file cannot be used.
    std::string HistoryFile;
    int HistoryDays = DefaultHistoryDays;
    // A script is stopped after this long (TERM, then KILL 5 s later); 0: never.
    int ScriptTimeoutSeconds = DefaultScriptTimeoutSeconds;
};

// The services a test can make the kernel refuse.
enum class THostService {
    EventScripter,
    Settings,
    DebugServer,
    InstanceControl,
    VariableManager,
    ModuleLoader,
    AddInLibrary
};

class TNHXHost {
  public:
    explicit TNHXHost(TNHXHostOptions options = {});
    // Shutdown(), then the services go.
    ~TNHXHost();
    TNHXHost(const TNHXHost&) = delete;
    TNHXHost& operator=(const TNHXHost&) = delete;

    // ---- The module ----
    // dlopen and NHXModuleInfo; the module becomes known to the loader and instance control.
    // Raises EModuleLoadError (also when a module is already loaded).
    const TNHXModuleInfo& LoadModule(const std::string& path);
    bool ModuleLoaded() const { return Library != nullptr; }
    const TNHXModuleLibrary& Module() const;
    // The record's Register with the kernel / Unregister; answer the module's result.
    NHXResult RegisterModule();
    NHXResult UnregisterModule();
    // An instance of the loaded module for every instance number the settings name that has
    // none yet, in order, each logged (the module's add-in makes only its first one).
    void CreateSettingsInstances();
    bool ModuleRegistered() const { return Registered; }
    // Forgets the module and dlcloses it, without Unregister (unless called before). Instances of
    // the module must be gone.
    void UnloadModule();
    // What a host does on exit: ClosePage and release every instance, Unregister when registered,
    // unload.
    void Shutdown();

    // ---- Services ----
    INHXKernel* Kernel() const { return KernelObject.Get(); }
    THostLog& Log() const { return *LogStore; }
    const std::shared_ptr<THostLog>& SharedLog() const { return LogStore; }
    THostVariableManager& Variables() const { return *VariableManager.Get(); }
    THostEventScripter& Scripter() const { return *EventScripter.Get(); }
    THostSettings& Settings() const { return *SettingsStore.Get(); }
    THostInstanceControl& Instances() const { return *InstanceControl.Get(); }
    THostModuleLoader& Loader() const { return *ModuleLoader.Get(); }
    THostAddInLibrary& AddIns() const { return *AddInLibrary.Get(); }
    THostSelectorChoices& Selector() const { return *SelectorChoices; }
    // The modules instances can be made of: the loaded one and the selector.
    const THostModuleRegistry& Modules() const { return *Registry; }
    const std::string& KernelDir() const { return KernelObject->KernelDir(); }

    // The kernel's QueryInterface fails for a refused service.
    void RefuseService(THostService service, bool refuse = true);
    void RefuseAllServices(bool refuse = true);

    static const GUID& ServiceIid(THostService service);

  private:
    std::shared_ptr<THostLog> LogStore;
    std::shared_ptr<THostModuleRegistry> Registry;
    std::shared_ptr<THostSelectorChoices> SelectorChoices;
    TNHXInterfacePtr<THostKernel> KernelObject;
    TNHXInterfacePtr<THostVariableManager> VariableManager;
    TNHXInterfacePtr<THostEventScripter> EventScripter;
    TNHXInterfacePtr<THostSettings> SettingsStore;
    TNHXInterfacePtr<THostInstanceControl> InstanceControl;
    TNHXInterfacePtr<THostModuleLoader> ModuleLoader;
    TNHXInterfacePtr<THostAddInLibrary> AddInLibrary;
    TNHXInterfacePtr<THostDebugServer> DebugServer;
    std::unique_ptr<TNHXModuleLibrary> Library;
    bool Registered = false;
};
