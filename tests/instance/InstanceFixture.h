// A stand-in host with a ready database in a temporary kernel directory, a pinned clock and a
// responder for message boxes; instances are made directly, without loading the library.
#pragma once

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <memory>
#include <string>

#include "Clock.h"
#include "Core.Mondrel_Interface.h"
#include "DBCnx.h"
#include "MessageBox.h"
#include "NHXHost.h"

class InstanceFixture : public testing::Test {
  protected:
    InstanceFixture();

    // A new instance with the given number, as the module's create-instance function makes it.
    TNHXInterfacePtr<INHXMondrel> MakeInstance(uint16_t number = 7);
    TNHXMondrel& Mondrel(const TNHXInterfacePtr<INHXMondrel>& instance) const;

    // An executable script in the host's scripts folder.
    void AddScript(const std::string& name, const std::string& body = "exit 0");
    // Adds an appointment on `day` at hh:mm:ss and answers its ID.
    int64_t AddAppointment(TDateTime day, int h, int m, int s, const std::string& description,
                           const std::string& script, const std::string& value = "");
    TDateTime Today() const { return DateOf(ClockNow); }
    void SetNow(int h, int m, int s) { ClockNow = Today() + EncodeTime(h, m, s, 0); }

    QTemporaryDir Dir;
    std::string KernelDir;
    std::string Database;
    std::unique_ptr<TNHXHost> Host;
    TDateTime ClockNow = EncodeDate(2026, 12, 8) + EncodeTime(10, 30, 5, 0);
    TScopedClock Clock{[this] { return ClockNow; }};
    TScopedMessageBoxResponder Boxes;
};
