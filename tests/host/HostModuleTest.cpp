// Loading, registering and unloading a module, and the window over it, with the test module.
#include <QApplication>
#include <QDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "HostTestSupport.h"
#include "HostWindow.h"
#include "TestSupport.h"

namespace {

using HostModule = HostTest;

constexpr GUID FakeModuleId = {
    0x1F2E3D4C, 0x5B6A, 0x4789, {0x9A, 0xAB, 0xBC, 0xCD, 0xDE, 0xEF, 0xF0, 0x01}};

std::vector<std::string> FakeLog(const TNHXHost& host) {
    std::vector<std::string> texts;
    for (const THostLogEntry& entry : host.Log().ModuleEntries()) {
        texts.push_back(entry.Text);
    }
    return texts;
}

}  // namespace

TEST_F(HostModule, ModuleIsLoadedRegisteredAndShutDownInTheHostsOrder) {
    TNHXHost host(Options());
    const TNHXModuleInfo& info = host.LoadModule(FAKE_MODULE_PATH);
    EXPECT_EQ(info.ModuleID, FakeModuleId);
    EXPECT_EQ(host.Module().Name(), "Fake");
    EXPECT_THROW_MSG(host.LoadModule(FAKE_MODULE_PATH), EModuleLoadError,
                     "A module is loaded already: " FAKE_MODULE_PATH);

    ASSERT_EQ(host.RegisterModule(), S_OK);
    ASSERT_EQ(host.AddIns().AddIns().size(), 1u);
    THostInstance first;
    THostInstance second;
    ASSERT_EQ(host.Instances().Create(FakeModuleId, first), S_OK);
    ASSERT_EQ(host.Instances().Create(FakeModuleId, second), S_OK);
    first.Module.Reset();
    second.Module.Reset();

    host.Shutdown();
    EXPECT_FALSE(host.ModuleLoaded());
    EXPECT_EQ(FakeLog(host),
              (std::vector<std::string>{"Register", "Create #1", "Create #2", "ClosePage #2",
                                        "Destroy #2", "ClosePage #1", "Destroy #1", "Unregister"}));
    // The plug-in unregistered itself when the module let it go.
    EXPECT_TRUE(host.AddIns().AddIns().empty());
    EXPECT_EQ(host.AddIns().UnregisterCount(), 1);
}

TEST_F(HostModule, UnloadWithoutUnregisterLetsTheModuleCleanUp) {
    TNHXHost host(Options());
    host.LoadModule(FAKE_MODULE_PATH);
    host.RegisterModule();
    host.UnloadModule();
    EXPECT_EQ(FakeLog(host), std::vector<std::string>{"Register"});
    EXPECT_TRUE(host.AddIns().AddIns().empty());
    // The selector stays, the module is gone.
    int32_t found = 0;
    EXPECT_EQ(host.Loader().FindModule(&FakeModuleId, &found), E_FAIL);
    EXPECT_EQ(host.Loader().FindModule(&CLSID_NHXSelectorModule, &found), S_OK);
}

TEST_F(HostModule, LoadingSomethingThatIsNoModuleFails) {
    TNHXHost host(Options());
    EXPECT_THROW_MSG(host.LoadModule(KernelDir() + "missing.so"), EModuleLoadError,
                     "Cannot load module " + KernelDir() + "missing.so: " + KernelDir() +
                         "missing.so: cannot open shared object file: No such file or directory");
    WriteWholeFile(KernelDir() + "garbage.so", "not a library", false);
    EXPECT_THROW_MSG(host.LoadModule(KernelDir() + "garbage.so"), EModuleLoadError,
                     "Cannot load module " + KernelDir() + "garbage.so: " + KernelDir() +
                         "garbage.so: file too short");
    // A bare name is a file in the working directory, never a search of the library path.
    EXPECT_THROW_MSG(host.LoadModule("libc.so.6"), EModuleLoadError,
                     "Cannot load module libc.so.6: ./libc.so.6: cannot open shared object file: "
                     "No such file or directory");
    EXPECT_FALSE(host.ModuleLoaded());
    EXPECT_EQ(host.RegisterModule(), E_FAIL);
}

TEST_F(HostModule, WindowShowsAddInsInstancesVariablesAndTheLog) {
    TNHXHost host(Options());
    host.LoadModule(FAKE_MODULE_PATH);
    THostWindow window(host);
    host.RegisterModule();
    THostInstance instance;
    ASSERT_EQ(host.Instances().Create(FakeModuleId, instance), S_OK);
    instance.Module.Reset();
    host.Variables().PreCreate("Mondrel_TriggerValue", NHX_VAR_STRING, "Lights");
    // Changes arrive while a module is busy; the tables follow from the event loop.
    QCoreApplication::processEvents();

    auto* addIns = window.findChild<QTableWidget*>("AddIns");
    ASSERT_EQ(addIns->rowCount(), 1);
    EXPECT_EQ(addIns->item(0, 1)->text(), "Fake");
    EXPECT_EQ(addIns->item(0, 2)->text(), "A module for the host's tests");
    auto* picture = qobject_cast<QLabel*>(addIns->cellWidget(0, 0));
    ASSERT_NE(picture, nullptr);
    EXPECT_EQ(picture->pixmap().size(), QSize(2, 1));

    QTest::mouseClick(window.findChild<QPushButton*>("OpenAddIn0"), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QPushButton*>("OpenPage1"), Qt::LeftButton);
    QTest::mouseClick(window.findChild<QPushButton*>("ClosePage1"), Qt::LeftButton);
    const auto texts = FakeLog(host);
    EXPECT_EQ(std::vector<std::string>(texts.end() - 3, texts.end()),
              (std::vector<std::string>{"Open", "OpenPage #1", "ClosePage #1"}));

    auto* variables = window.findChild<QTableWidget*>("Variables");
    ASSERT_EQ(variables->rowCount(), 1);
    EXPECT_EQ(variables->item(0, 2)->text(), "Lights");
    EXPECT_EQ(window.findChild<QTableWidget*>("Instances")->rowCount(), 1);
    EXPECT_TRUE(
        window.findChild<QPlainTextEdit*>("Log")->toPlainText().contains("[Fake] OpenPage #1"));

    host.Shutdown();
    QCoreApplication::processEvents();
    EXPECT_EQ(addIns->rowCount(), 0);
}

// "Add variable": a bad value is shown in the dialog, which stays open; a good one declares it.
TEST_F(HostModule, AddVariableButtonDeclaresAVariable) {
    TNHXHost host(Options());
    THostWindow window(host);
    std::vector<QString> problems;
    QTimer::singleShot(0, [&problems] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        dialog->findChild<QLineEdit*>("VariableName")->setText("Vacation");
        dialog->findChild<QLineEdit*>("VariableValue")->setText("maybe");
        dialog->accept();
        problems.push_back(dialog->findChild<QLabel*>("VariableProblem")->text());
        dialog->findChild<QLineEdit*>("VariableValue")->setText("true");
        if (const char* picture = std::getenv("MONDREL_GRAB_DIR")) {
            dialog->grab().save(QString::fromLocal8Bit(picture) + "/add-variable.png");
        }
        dialog->accept();
    });
    QTest::mouseClick(window.findChild<QPushButton*>("AddVariable"), Qt::LeftButton);
    EXPECT_EQ(problems, std::vector<QString>{"A boolean variable is true or false, not \"maybe\""});
    ASSERT_TRUE(host.Variables().Find("Vacation"));
    EXPECT_EQ(host.Variables().Find("Vacation")->Value, "true");
    QCoreApplication::processEvents();
    EXPECT_EQ(window.findChild<QTableWidget*>("Variables")->rowCount(), 1);
    if (const char* picture = std::getenv("MONDREL_GRAB_DIR")) {
        window.grab().save(QString::fromLocal8Bit(picture) + "/host-window.png");
    }
}

// The real module in the window: its add-in's Open has the host make an instance whose page shows.
TEST_F(HostModule, WindowOpensTheRealModulesPageThroughItsAddIn) {
    if (!QFileInfo::exists(MONDREL_MODULE_PATH)) {
        GTEST_SKIP() << "the module (" MONDREL_MODULE_PATH ") is not built";
    }
    TNHXHost host(Options());
    host.LoadModule(MONDREL_MODULE_PATH);
    THostWindow window(host);
    ASSERT_EQ(host.RegisterModule(), S_OK);
    QCoreApplication::processEvents();
    auto* addIns = window.findChild<QTableWidget*>("AddIns");
    ASSERT_EQ(addIns->rowCount(), 1);
    EXPECT_EQ(addIns->item(0, 1)->text(), "Mondrel");
    const QPixmap bitmap = qobject_cast<QLabel*>(addIns->cellWidget(0, 0))->pixmap();
    EXPECT_EQ(bitmap.size(), QSize(30, 30));
    ASSERT_EQ(host.Instances().Instances().size(), 1u);  // asked for while registering

    const auto topLevelsBefore = QApplication::topLevelWidgets().size();
    QTest::mouseClick(window.findChild<QPushButton*>("OpenAddIn0"), Qt::LeftButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(host.Instances().Instances().size(), 2u);
    EXPECT_GT(QApplication::topLevelWidgets().size(), topLevelsBefore);

    host.Shutdown();
    const auto entries = host.Log().ModuleEntries();
    EXPECT_EQ(entries.back().Text, "Unregister");
}
