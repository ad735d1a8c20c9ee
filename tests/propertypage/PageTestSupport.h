// Helpers of the property page tests: stand-ins for the instance and the host's selector, and a
// fixture that shows a page on a ready database with the clock pinned.
#pragma once

#include <gtest/gtest.h>

#include <QString>
#include <QWidget>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "Clock.h"
#include "Core.Mondrel_Types.h"
#include "FPropertyPage.h"
#include "MessageBox.h"
#include "NHXObjects.h"
#include "NHXPtr.h"
#include "StoreTestSupport.h"

// The calendar instance as the page sees it: settings in and out.
class TFakeMondrel : public TNHXModuleObject<INHXMondrel> {
  public:
    explicit TFakeMondrel(std::string database) : Database(std::move(database)) {}
    NHXResult NHXCALL GetSettings(TNHXMondrelSettings* out) override;
    NHXResult NHXCALL SetSettings(const TNHXMondrelSettings* in) override;

    std::string Database;
    int SetSettingsCalls = 0;

  protected:
    bool AnswersInterface(const GUID& iid) const override;
};

// The host's selector: answers one scripted choice and records what was asked.
struct TSelectorScript {
    NHXResult Result = S_OK;
    std::string Choice;
    std::vector<std::string> Calls;  // "script" or "variable <types>"
    int Alive = 0;                   // selectors not yet freed
};

class TFakeSelector : public TNHXModuleObject<INHXSelector> {
  public:
    explicit TFakeSelector(std::shared_ptr<TSelectorScript> script);
    ~TFakeSelector() override;
    NHXResult NHXCALL SelectVariable(uint8_t types, NHXText* out) override;
    NHXResult NHXCALL SelectScript(NHXText* out) override;

  protected:
    bool AnswersInterface(const GUID& iid) const override;

  private:
    NHXResult Answer(NHXText* out);
    std::shared_ptr<TSelectorScript> Script;
};

class TFakeInstanceControl : public TNHXMessageObject<INHXInstanceControl> {
  public:
    NHXResult NHXCALL CreateInstance(const GUID* module, TNHXModuleInstance* out,
                                     int32_t reserved) override;
    NHXResult NHXCALL DeleteInstance(uint16_t instance) override;

    std::shared_ptr<TSelectorScript> Selector = std::make_shared<TSelectorScript>();
    NHXResult CreateResult = S_OK;
    std::vector<uint16_t> Created;
    std::vector<uint16_t> Deleted;
    // The host's own reference to each selector instance, until it is deleted.
    std::map<uint16_t, TNHXInterfacePtr<INHXSelector>> Live;

  protected:
    bool AnswersInterface(const GUID& iid) const override;

  private:
    uint16_t NextInstance = 40;
};

// A page on a ready database (the colours and the two fixed flags of `mondrel-db init`),
// today pinned to Monday 18 March 2024, 10:00, message boxes answered by Boxes.
class TPageTest : public ::testing::Test {
  protected:
    static constexpr int Year = 2024;
    static constexpr int Month = 3;
    static constexpr int Today = 18;

    TPageTest();
    ~TPageTest() override;

    // Creates the page, hands it the fakes and shows it.
    void OpenPage();

    template <class T = QWidget>
    T* Find(const char* name) const {
        T* widget = Page->findChild<T*>(name);
        if (!widget) {
            ADD_FAILURE() << "no component " << name;
        }
        return widget;
    }
    void Click(const char* name) const;
    void ClickWidget(QWidget* widget) const;
    QString Text(const char* name) const;
    // Clicks a day of the shown month; only days 15 to 21 are unique in the month grid.
    void ClickDay(int day) const;
    void SetEdit(const char* name, const QString& text) const;

    int64_t AddAppointment(TDateTime date, TDateTime time, const std::string& description,
                           const std::string& script = "Script");
    int CountRows(const std::string& sql) const;
    // The box texts seen so far.
    std::vector<std::string> BoxTexts() const;

    TTempFolder Temp;
    std::string Path;
    TScopedClock Clock;
    TScopedMessageBoxResponder Boxes;
    TNHXInterfacePtr<TFakeMondrel> Instance;
    TNHXInterfacePtr<TFakeInstanceControl> Control;
    std::unique_ptr<TfrmPropertyPage> Page;
};
