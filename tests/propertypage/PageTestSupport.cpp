#include "PageTestSupport.h"

#include <QLabel>
#include <QLineEdit>
#include <QTest>

#include "DBCnx.h"
#include "MondrelSchema.h"

// ---- TFakeMondrel ----

NHXResult TFakeMondrel::GetSettings(TNHXMondrelSettings* out) {
    out->Database = TNHXTextRef(Database).Detach();
    return S_OK;
}

NHXResult TFakeMondrel::SetSettings(const TNHXMondrelSettings* in) {
    Database = NHXTextToString(in->Database);
    ++SetSettingsCalls;
    return S_OK;
}

bool TFakeMondrel::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXModule || iid == IID_INHXMondrel;
}

// ---- TFakeSelector ----

TFakeSelector::TFakeSelector(std::shared_ptr<TSelectorScript> script) : Script(std::move(script)) {
    ++Script->Alive;
}

TFakeSelector::~TFakeSelector() {
    --Script->Alive;
}

NHXResult TFakeSelector::SelectVariable(uint8_t types, NHXText* out) {
    Script->Calls.push_back("variable " + std::to_string(types));
    return Answer(out);
}

NHXResult TFakeSelector::SelectScript(NHXText* out) {
    Script->Calls.push_back("script");
    return Answer(out);
}

NHXResult TFakeSelector::Answer(NHXText* out) {
    if (NHXSucceeded(Script->Result)) {
        *out = TNHXTextRef(Script->Choice).Detach();
    }
    return Script->Result;
}

bool TFakeSelector::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXModule || iid == IID_INHXSelector;
}

// ---- TFakeInstanceControl ----

NHXResult TFakeInstanceControl::CreateInstance(const GUID* module, TNHXModuleInstance* out,
                                               int32_t) {
    if (NHXFailed(CreateResult) || !module || !(*module == CLSID_NHXSelectorModule)) {
        return NHXFailed(CreateResult) ? CreateResult : E_FAIL;
    }
    uint16_t number = NextInstance++;
    auto selector = TNHXInterfacePtr<INHXSelector>::Adopt(new TFakeSelector(Selector));
    out->InstanceID = number;
    // The caller gets a reference of its own; the host keeps one until DeleteInstance.
    out->Module = TNHXInterfacePtr<INHXSelector>(selector).Detach();
    Live[number] = std::move(selector);
    Created.push_back(number);
    return S_OK;
}

NHXResult TFakeInstanceControl::DeleteInstance(uint16_t instance) {
    Deleted.push_back(instance);
    return Live.erase(instance) == 1 ? S_OK : E_FAIL;
}

bool TFakeInstanceControl::AnswersInterface(const GUID& iid) const {
    return iid == IID_INHXInstanceControl;
}

// ---- TPageTest ----

TPageTest::TPageTest()
    : Path(Temp.File("Mondrel.sdb")),
      Clock(EncodeDate(Year, Month, Today) + EncodeTime(10, 0, 0, 0)),
      Instance(TNHXInterfacePtr<TFakeMondrel>::Adopt(new TFakeMondrel(Path))),
      Control(TNHXInterfacePtr<TFakeInstanceControl>::Adopt(new TFakeInstanceControl)) {
    CreateMondrelDatabase(Path);
}

TPageTest::~TPageTest() {
    if (Page) {
        Page->hide();
        Page->SetInstance(nullptr);
        Page.reset();
    }
}

void TPageTest::OpenPage() {
    if (!Page) {
        Page = std::make_unique<TfrmPropertyPage>();
    }
    Page->SetInstance(Instance.Get());
    Page->SetInstanceControl(Control.Get());
    Page->show();
}

void TPageTest::ClickWidget(QWidget* widget) const {
    ASSERT_NE(widget, nullptr);
    ASSERT_TRUE(widget->isVisible()) << widget->objectName().toStdString() << " is not visible";
    QTest::mouseClick(widget, Qt::LeftButton, {}, widget->rect().center());
}

void TPageTest::Click(const char* name) const {
    ClickWidget(Find(name));
}

QString TPageTest::Text(const char* name) const {
    QWidget* widget = Find(name);
    if (auto* label = qobject_cast<QLabel*>(widget)) {
        return label->text();
    }
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        return edit->text();
    }
    ADD_FAILURE() << name << " shows no text";
    return {};
}

void TPageTest::SetEdit(const char* name, const QString& text) const {
    QLineEdit* edit = Find<QLineEdit>(name);
    ASSERT_NE(edit, nullptr);
    edit->setText(text);
}

void TPageTest::ClickDay(int day) const {
    ASSERT_GE(day, 15);
    ASSERT_LE(day, 21);
    for (QLabel* cell : Page->findChildren<QLabel*>()) {
        if (cell->objectName().startsWith("DayCell") && cell->text() == QString::number(day)) {
            ClickWidget(cell);
            return;
        }
    }
    ADD_FAILURE() << "no cell for day " << day;
}

int64_t TPageTest::AddAppointment(TDateTime date, TDateTime time, const std::string& description,
                                  const std::string& script) {
    TMondrelDate appointment;
    appointment.Date = date;
    appointment.Time = time;
    appointment.Discription = description;
    appointment.Value = "value of " + description;
    appointment.Script = script;
    ::AddDate(Path, appointment);
    return std::stoll(QueryText(Path, "SELECT MAX(ID) FROM Dates"));
}

int TPageTest::CountRows(const std::string& sql) const {
    return std::stoi(QueryText(Path, sql));
}

std::vector<std::string> TPageTest::BoxTexts() const {
    std::vector<std::string> texts;
    for (const TMessageBoxRequest& request : Boxes.Requests()) {
        texts.push_back(request.Text);
    }
    return texts;
}
