#include "InstanceFixture.h"

#include <QDir>
#include <QFile>

#include "Core.Mondrel.h"
#include "MondrelSchema.h"

InstanceFixture::InstanceFixture() {
    KernelDir = Dir.path().toStdString() + "/";
    QDir(Dir.path()).mkpath("Database");
    QDir(Dir.path()).mkpath("scripts");
    Database = KernelDir + "Database/Mondrel.sdb";
    CreateMondrelDatabase(Database);
    Host = std::make_unique<TNHXHost>(
        TNHXHostOptions{.KernelDir = KernelDir,
                        .SettingsFile = KernelDir + "nhx-host.ini",
                        .ScriptsDir = KernelDir + "scripts/",
                        .VariablesOut = {},
                        .HistoryFile = {},
                        .HistoryDays = DefaultHistoryDays,
                        .ScriptTimeoutSeconds = DefaultScriptTimeoutSeconds});
}

TNHXInterfacePtr<INHXMondrel> InstanceFixture::MakeInstance(uint16_t number) {
    return TNHXInterfacePtr<INHXMondrel>::Adopt(
        new TNHXMondrel(Host->Kernel(), MondrelModuleInfo(), number));
}

TNHXMondrel& InstanceFixture::Mondrel(const TNHXInterfacePtr<INHXMondrel>& instance) const {
    return *static_cast<TNHXMondrel*>(instance.Get());
}

void InstanceFixture::AddScript(const std::string& name, const std::string& body) {
    QFile file(QString::fromStdString(KernelDir + "scripts/" + name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(("#!/bin/sh\n" + body + "\n").c_str());
    file.close();
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
}

int64_t InstanceFixture::AddAppointment(TDateTime day, int h, int m, int s,
                                        const std::string& description, const std::string& script,
                                        const std::string& value) {
    TMondrelDate appointment;
    appointment.Date = day;
    appointment.Time = EncodeTime(h, m, s, 0);
    appointment.Discription = description;
    appointment.Value = value;
    appointment.Script = script;
    AddDate(Database, appointment);
    int64_t newest = 0;
    for (const TMondrelDate& d : GetDates(Database, dqMonth, day)) {
        newest = std::max(newest, d.ID);
    }
    return newest;
}
