// What the host's tests share: a Qt application, a temporary kernel directory with a scripts
// folder, and small helpers to write scripts and read files.
#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <string>

#include "HostApplication.h"
#include "NHXHost.h"

inline std::string ReadWholeFile(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll().toStdString();
}

inline void WriteWholeFile(const std::string& path, const std::string& text, bool executable) {
    QFile file(QString::fromStdString(path));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(text.data(), static_cast<qint64>(text.size()));
    file.close();
    if (executable) {
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    }
}

// Sets the soft limit of open descriptors for the scope, as a service manager would.
class TScopedDescriptorLimit {
  public:
    explicit TScopedDescriptorLimit(rlim_t limit) {
        getrlimit(RLIMIT_NOFILE, &Saved);
        rlimit changed = Saved;
        changed.rlim_cur = std::min(limit, Saved.rlim_max);
        setrlimit(RLIMIT_NOFILE, &changed);
    }
    ~TScopedDescriptorLimit() { setrlimit(RLIMIT_NOFILE, &Saved); }

  private:
    rlimit Saved{};
};

class HostTest : public ::testing::Test {
  protected:
    void SetUp() override {
        EnsureHostApplication();
        ASSERT_TRUE(Dir.isValid());
        ASSERT_TRUE(QDir(Dir.path()).mkdir(QStringLiteral("scripts")));
    }

    std::string KernelDir() const { return Dir.path().toStdString() + "/"; }
    std::string ScriptsDir() const { return KernelDir() + "scripts"; }
    TNHXHostOptions Options() const {
        TNHXHostOptions options;
        options.KernelDir = KernelDir();
        options.ScriptsDir = ScriptsDir();
        return options;
    }
    void WriteScript(const std::string& name, const std::string& body, bool executable = true) {
        WriteWholeFile(ScriptsDir() + "/" + name, "#!/bin/sh\n" + body, executable);
    }

    QTemporaryDir Dir;
};
