#include "FPropertyPage.h"

#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QTabWidget>
#include <QTableWidget>
#include <optional>

#include "Clock.h"
#include "DBCnx.h"
#include "DBTransaction.h"
#include "DateTime.h"
#include "DayBlock.h"
#include "DayFlagPanel.h"
#include "EditorPanel.h"
#include "FlagGridDelegate.h"
#include "FormControls.h"
#include "HostPicker.h"
#include "JCalendar.h"
#include "Locale.h"
#include "MessageBox.h"
#include "MondrelError.h"
#include "PageImage.h"
#include "PageRules.h"
#include "ScriptName.h"
#include "SetupPanel.h"
#include "ShapeControl.h"
#include "widgets/QtMessageBox.h"

namespace {

constexpr int ClientWidth = 441;
constexpr int ClientHeight = 331;
constexpr int ToolbarPressOffset = 2;

QString ToQString(const std::string& text) {
    return QString::fromStdString(text);
}

std::string ToStdString(const QString& text) {
    return text.toStdString();
}

QDate ToQDate(TDateTime value) {
    TDateParts parts = DecodeDate(value);
    return QDate(parts.Year, parts.Month, parts.Day);
}

TDateTime FromQDate(const QDate& date) {
    return EncodeDate(date.year(), date.month(), date.day());
}

// A glyph whose pixels of the transparent colour are see-through; without a colour given, the
// bottom-left pixel names it.
QPixmap TransparentGlyph(const QString& picture, std::optional<QColor> transparent) {
    QImage image = PagePicture(picture).toImage().convertToFormat(QImage::Format_ARGB32);
    if (image.isNull()) {
        return {};
    }
    QRgb key = transparent ? transparent->rgb() : image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixel(x, y) == key) {
                image.setPixel(x, y, qRgba(0, 0, 0, 0));
            }
        }
    }
    return QPixmap::fromImage(image);
}

// A flat button draws no focus of its own: it shows its frame while it has the focus, so the
// keyboard user sees where Return and Space go.
class TFocusFrame : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut) {
            static_cast<QPushButton*>(watched)->setFlat(event->type() == QEvent::FocusOut);
        }
        return false;
    }
};

QPushButton* NewGlyphButton(QWidget* parent, const QString& name, const QRect& geometry,
                            const QString& caption) {
    QPushButton* button = NewButton(parent, name, geometry, caption);
    button->setFlat(true);
    button->setIconSize(QSize(16, 16));
    auto* frame = new TFocusFrame(button);
    frame->setObjectName(QStringLiteral("FocusFrame"));
    button->installEventFilter(frame);
    return button;
}

}  // namespace

template <class Sender, class Signal>
void TfrmPropertyPage::OnEvent(Sender* sender, Signal signal, std::function<void()> handler) {
    connect(sender, signal, this, [this, handler = std::move(handler)] { RunHandler(handler); });
}

void TfrmPropertyPage::RunHandler(const std::function<void()>& handler) {
    ++HandlerDepth;
    {
        // The handler's questions and reports centre on this page, not on the host's window.
        TScopedBoxOwner owner(this);
        RunGuarded(handler);
    }
    --HandlerDepth;
    if (HandlerDepth == 0 && DestroyPending) {
        // Not at once: the widget whose signal called the handler is still inside its event.
        deleteLater();
    }
}

void TfrmPropertyPage::DestroyWhenIdle() {
    DestroyPending = true;
    hide();
    SetInstance(nullptr);
    // The open box or picker ends as if cancelled; its handler then sees Closing().
    if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        modal && modal != this) {
        modal->reject();
    }
    if (!InHandler()) {
        deleteLater();
    }
}

TfrmPropertyPage::TfrmPropertyPage(QWidget* parent) : QDialog(parent) {
    setObjectName("frmPropertyPage");
    setWindowTitle("Mondrel");
    setFixedSize(ClientWidth, ClientHeight);
    setSizeGripEnabled(false);
    // Closing only hides the page; a plug-in's window must never end the host's event loop,
    // also when it is the host's only window.
    setAttribute(Qt::WA_QuitOnClose, false);
    // Narrow dialog faces first: the fixed label sizes were made for them.
    QFont pageFont = font();
    pageFont.setStyleHint(QFont::SansSerif);
    pageFont.setFamilies(
        {"Tahoma", "Liberation Sans", "Arial", "Nimbus Sans", "Helvetica", "Sans Serif"});
    pageFont.setPointSize(8);
    setFont(pageFont);

    // Created bottom to top: later siblings lie over earlier ones.
    BuildMainView();
    PnlTermin = new TEditorPanel(this);
    PnlTermin->hide();
    PnlSetup = new TSetupPanel(this);
    PnlSetup->hide();
    PnlSetup->SGEvents->setItemDelegate(new TFlagGridDelegate(PnlSetup->SGEvents));
    BuildHeader();
    DoBlur = NewButton(this, "DoBlur", {0, 0, 0, 0}, {});

    FormCreate();
    SetTabOrder();

    OnEvent(btnOK, &QPushButton::clicked, [this] { btnOKClick(); });
    OnEvent(btnApply, &QPushButton::clicked, [this] { btnApplyClick(); });
    OnEvent(ScrollBar, &QScrollBar::valueChanged, [this] { ScrollBarChange(); });
    for (TPageImage* image : {ImgFlagsAdd, ImgTerminNeu, ImgSetup}) {
        OnEvent(image, &TPageImage::MouseDown,
                [this, image] { ToolbarPress(image, ToolbarPressOffset); });
        OnEvent(image, &TPageImage::MouseUp,
                [this, image] { ToolbarPress(image, -ToolbarPressOffset); });
    }
    OnEvent(ImgFlagsAdd, &TPageImage::Click, [this] { ImgFlagsAddClick(); });
    OnEvent(ImgTerminNeu, &TPageImage::Click, [this] { OpenEditor(-1); });
    OnEvent(ImgSetup, &TPageImage::Click, [this] { ImgSetupClick(); });
    for (int slot = 0; slot < 3; ++slot) {
        OnEvent(Blocks[slot]->EditImage(), &TPageImage::Click,
                [this, slot] { OpenEditor(Blocks[slot]->AppointmentId()); });
        OnEvent(Blocks[slot]->KillImage(), &TPageImage::Click,
                [this, slot] { DeleteAppointment(slot); });
    }

    OnEvent(PnlTermin->BtnSaveDate, &QPushButton::clicked, [this] { BtnSaveDateClick(); });
    OnEvent(PnlTermin->BtnDateClose, &QPushButton::clicked, [this] { BtnDateCloseClick(); });
    OnEvent(PnlTermin->ImgScriptSelect, &TPageImage::Click, [this] { ImgScriptSelectClick(); });

    OnEvent(PnlSetup->BtnSetupClose, &QPushButton::clicked, [this] { BtnSetupCloseClick(); });
    OnEvent(PnlSetup->BtnDatabaseBrowse, &QPushButton::clicked,
            [this] { BtnDatabaseBrowseClick(); });
    OnEvent(PnlSetup->CombColors, &QComboBox::currentTextChanged, [this] { CombColorsChange(); });
    OnEvent(PnlSetup->BtnFlagAdd, &QPushButton::clicked, [this] { BtnFlagAddClick(); });
    OnEvent(PnlSetup->BtnFlagDel, &QPushButton::clicked, [this] { BtnFlagDelClick(); });
    OnEvent(PnlSetup->ImgVariableSelect, &TPageImage::Click, [this] { ImgVariableSelectClick(); });
    // The frame of the selected row's swatch follows the selection.
    connect(PnlSetup->SGEvents, &QTableWidget::itemSelectionChanged, PnlSetup->SGEvents,
            [grid = PnlSetup->SGEvents] { grid->viewport()->update(); });

    OnEvent(PnlFlags->BtnFlagsSave, &QPushButton::clicked, [this] { BtnFlagsSaveClick(); });
}

TfrmPropertyPage::~TfrmPropertyPage() {
    // The buttons lose the focus while they are being destroyed: no frame may follow then.
    qDeleteAll(findChildren<QObject*>(QStringLiteral("FocusFrame")));
    FormDestroy();
}

void TfrmPropertyPage::BuildHeader() {
    pTop = NewPanel(this, "pTop", {0, 0, ClientWidth, 65}, TBevel::None);
    SetBackgroundColor(pTop, clPageWhite);
    NewImage(pTop, "Image1", {16, 8, 30, 30}, "logo", false);
    QLabel* title = NewLabel(pTop, "Label1", {96, 8, 0, 0}, "Mondrel v.1.12b");
    MakeBold(title);
    title->adjustSize();
    NewLabel(pTop, "Label2", {120, 24, 0, 0}, "Calendar module for the NHX home automation");
    NewLabel(pTop, "Label3", {120, 40, 0, 0}, "Automated Script triggering");
    auto* bevel = new QFrame(pTop);
    bevel->setObjectName("Bevel2");
    bevel->setGeometry(0, 63, ClientWidth, 2);
    bevel->setFrameStyle(QFrame::HLine | QFrame::Sunken);
}

void TfrmPropertyPage::BuildMainView() {
    Panel3 = NewPanel(this, "Panel3", {7, 69, 427, 260}, TBevel::None);

    Panel2 = NewPanel(Panel3, "Panel2", {6, 8, 414, 169}, TBevel::Lowered);
    SetBackgroundColor(Panel2, clPageSilver);
    Blocks[0] = new TDayBlock(Panel2, 1, {201, 6, 185, 50});
    Blocks[1] = new TDayBlock(Panel2, 2, {201, 57, 185, 51});
    Blocks[2] = new TDayBlock(Panel2, 3, {201, 109, 185, 51});
    ScrollBar = new QScrollBar(Qt::Vertical, Panel2);
    ScrollBar->setObjectName("ScrollBar");
    ScrollBar->setGeometry(391, 7, 16, 153);
    ScrollBar->setFocusPolicy(Qt::NoFocus);
    ScrollBar->setRange(0, 100);
    // A track click and a wheel notch step one appointment, as the arrows do (the wheel never
    // scrolls more than a page step).
    ScrollBar->setSingleStep(1);
    ScrollBar->setPageStep(1);
    ScrollBar->setValue(1);

    QFrame* toolbar = NewPanel(Panel3, "Panel1", {6, 185, 414, 32}, TBevel::Lowered);
    SetBackgroundColor(toolbar, clPageSilver);
    BuildToolbar(toolbar);

    PnlFlags = new TDayFlagPanel(Panel3);
    PnlFlags->hide();

    btnOK = NewGlyphButton(Panel3, "btnOK", {262, 228, 73, 22}, "OK");
    btnApply = NewGlyphButton(Panel3, "btnApply", {347, 228, 73, 22}, "Apply");
    btnApply->setIcon(TransparentGlyph("check", std::nullopt));
}

void TfrmPropertyPage::BuildToolbar(QFrame* toolbar) {
    ImgFlagsAdd = NewImage(toolbar, "ImgFlagsAdd", {7, 4, 28, 24}, "flagsadd", true, "Set Flags");
    ImgTerminNeu =
        NewImage(toolbar, "ImgTerminNeu", {346, 4, 28, 24}, "terminneu", true, "Set new Date");
    ImgSetup = NewImage(toolbar, "ImgSetup", {380, 4, 28, 24}, "setup", true, "Setup");
}

void TfrmPropertyPage::SetTabOrder() {
    QList<QWidget*> chain{DoBlur};
    chain += PnlSetup->TabChain();
    chain += PnlTermin->TabChain();
    chain += QList<QWidget*>{PnlFlags->CLBFlags, PnlFlags->BtnFlagsSave, btnOK, btnApply};
    for (qsizetype i = 1; i < chain.size(); ++i) {
        QWidget::setTabOrder(chain[i - 1], chain[i]);
    }
}

namespace {

// The host's main window: the active window, else the first visible plain window.
QWidget* HostMainWindow(const QWidget* page) {
    QWidget* active = QApplication::activeWindow();
    if (active && active != page) {
        return active;
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window != page && window->isVisible() && window->windowType() == Qt::Window) {
            return window;
        }
    }
    return nullptr;
}

}  // namespace

void TfrmPropertyPage::CentreOnHostWindow() {
    QRect area;
    if (QWidget* host = HostMainWindow(this)) {
        area = host->frameGeometry();
    } else if (QScreen* screen = QApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (area.isValid()) {
        QRect frame = frameGeometry();
        frame.moveCenter(area.center());
        move(frame.topLeft());
    }
}

void TfrmPropertyPage::AvoidOtherPages() {
    constexpr int Step = 28;
    for (int tries = 0; tries < 16; ++tries) {
        bool covered = false;
        for (QWidget* window : QApplication::topLevelWidgets()) {
            auto* other = qobject_cast<TfrmPropertyPage*>(window);
            covered = covered || (other && other != this && other->isVisible() &&
                                  (other->pos() - pos()).manhattanLength() < Step);
        }
        if (!covered) {
            return;
        }
        move(pos() + QPoint(Step, Step));
    }
}

void TfrmPropertyPage::SetInstanceNumber(int number) {
    InstanceNumber = number;
    UpdateTitle();
}

void TfrmPropertyPage::UpdateTitle() {
    QString title = QStringLiteral("Mondrel");
    if (InstanceNumber > 0) {
        title += QStringLiteral(" #%1").arg(InstanceNumber);
    }
    const std::string& path = PageSettings.Database;
    if (!path.empty()) {
        title += QStringLiteral(" ") + QChar(0x2013) + QStringLiteral(" ") +
                 ToQString(path.substr(path.find_last_of('/') + 1));
    }
    setWindowTitle(title);
}

void TfrmPropertyPage::BackInFront() {
    if (!Closing() && isVisible()) {
        raise();
        activateWindow();
    }
}

void TfrmPropertyPage::SetInstance(INHXMondrel* instance) {
    Instance = TNHXInterfacePtr<INHXMondrel>::Share(instance);
}

void TfrmPropertyPage::SetInstanceControl(INHXInstanceControl* control) {
    InstanceControl = TNHXInterfacePtr<INHXInstanceControl>::Share(control);
}

void TfrmPropertyPage::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A window restored by the window system is no new showing.
    if (event->spontaneous()) {
        return;
    }
    if (!Placed) {
        CentreOnHostWindow();
        AvoidOtherPages();
        Placed = true;
    }
    DoBlur->setFocus();
    RunHandler([this] { FormShow(); });
}

void TfrmPropertyPage::keyPressEvent(QKeyEvent* event) {
    // The page has no cancel button: Escape must not hide it (and with it an open editor or
    // an accepted but not yet applied database path).
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

// ---- Form ----

void TfrmPropertyPage::FormCreate() {
    btnOK->setIcon(TransparentGlyph("check", QColor(0, 255, 0)));

    Calendar = new TJCalendar(Panel2);
    Calendar->setObjectName("Calendar");
    Calendar->Setup(Panel2);
    Calendar->SetTop(6);
    Calendar->SetLeft(6);
    Calendar->SetHeaderColor(0x800000);
    Calendar->SetBodyColor(0xF0FBFF);
    Calendar->SetWeekNumberColor(0x000080);
    Calendar->SetWeekdayColor(0x000080);
    Calendar->SetOtherMonthColor(0xF0CAA6);
    Calendar->SetHeaderTextColor(0xF0CAA6);
    Calendar->SetArrowColor(0xF0CAA6);
    Calendar->SetMarkerColor(0xF0CAA6);
    Calendar->SetLineColor(0x008000);
    Calendar->OnDayClick = [this](QWidget*) { RunHandler([this] { CalendarDayClick(); }); };
    Calendar->SetLanguage(true);
    ShownToday = DateOf(Now());
}

void TfrmPropertyPage::CheckToday() {
    const TDateTime today = DateOf(Now());
    // Inside a handler (a question open) the selection is the user's; a later tick follows.
    if (today == ShownToday || InHandler() || Closing()) {
        return;
    }
    RunHandler([this, today] {
        const TDateTime previous = std::exchange(ShownToday, today);
        Calendar->RefreshToday();
        // The open day-flag panel stays with the day it was opened for.
        if (SameDay(SelectedDay(), previous) && PnlFlags->isHidden()) {
            Calendar->SelectDay(today);
            if (isVisible()) {
                ShowDay(0);
            }
        }
    });
}

void TfrmPropertyPage::FormShow() {
    ReportedRows.clear();
    if (Instance) {
        TNHXMondrelSettings settings{};
        if (NHXSucceeded(Instance->GetSettings(&settings))) {
            PageSettings.Database = TNHXTextRef::Adopt(settings.Database).Str();
        }
    }
    PnlSetup->EdtDataBase->setText(ToQString(PageSettings.Database));
    UpdateTitle();
    RefreshView();
    ShowDay(0);
}

void TfrmPropertyPage::FormDestroy() {
    InstanceControl.Reset();
    delete Calendar;
    Calendar = nullptr;
}

void TfrmPropertyPage::btnApplyClick() {
    if (!Instance) {
        return;
    }
    TNHXTextRef database(PageSettings.Database);
    TNHXMondrelSettings settings{database.Get()};
    Instance->SetSettings(&settings);
}

void TfrmPropertyPage::btnOKClick() {
    btnApplyClick();
    close();
}

void TfrmPropertyPage::CalendarDayClick() {
    ShowDay(0);
}

void TfrmPropertyPage::ToolbarPress(TPageImage* image, int offset) {
    image->move(image->pos() + QPoint(offset, offset));
    image->update();
}

// ---- Data and the day view ----

TDateTime TfrmPropertyPage::SelectedDay() const {
    return DateOf(Calendar->SelectedDate());
}

void TfrmPropertyPage::LoadData() {
    const std::string& path = PageSettings.Database;
    // Read everything first, so a failing read leaves the lists as they were; in one read
    // transaction on one connection, so the four lists show the file at one moment.
    TSkippedRows unreadable;
    TDates monthDates;
    TFlags flags;
    TDayFlags dayFlags;
    TDBColors colors;
    InTransaction(path, [&](TDBTransaction& transaction) {
        monthDates = GetDates(transaction, dqMonth, SelectedDay(), &unreadable);
        flags = GetFlags(transaction);
        dayFlags = GetDayFlags(transaction, 0, &unreadable);
        colors = GetColors(transaction);
    });
    MonthDates = std::move(monthDates);
    FlagList = std::move(flags);
    DayFlagList = std::move(dayFlags);
    ColorList = std::move(colors);
    // The marks follow every reload, so a day flag another program wrote shows at once.
    DayMarks = BuildDayMarks(DayFlagList, FlagList);
    Calendar->SetMarks(DayMarks);
    ReportSkippedRows(unreadable);
}

void TfrmPropertyPage::ReportSkippedRows(const TSkippedRows& rows) {
    std::string report;
    for (const TSkippedRow& row : rows) {
        std::string line = DescribeSkippedRow(row);
        if (ReportedRows.insert(line).second) {
            report += (report.empty() ? "" : "\r\n") + line;
        }
    }
    if (!report.empty()) {
        ShowErrorReport(report);
    }
}

void TfrmPropertyPage::RefreshView() {
    LoadData();
    ListDayFlagCaptions(TDayChecks::FromStore);

    QComboBox* colorBox = PnlSetup->CombColors;
    {
        QSignalBlocker quiet(colorBox);
        colorBox->clear();
        for (const TDBColor& color : ColorList) {
            colorBox->addItem(ToQString(color.Name));
        }
        colorBox->setCurrentIndex(ColorList.empty() ? -1 : 0);
    }
    if (ColorList.empty()) {
        colorBox->clearEditText();
        PnlSetup->ShpEventColor->ClearBrush();
    } else {
        PnlSetup->ShpEventColor->SetBrushColor(ColorToQColor(ColorList.front().Value));
    }
}

void TfrmPropertyPage::ListDayFlagCaptions(TDayChecks checks) {
    const std::vector<std::string> checked = PnlFlags->CheckedCaptions();
    std::vector<std::string> captions;
    for (const TFlag& flag : FlagList) {
        captions.push_back(flag.Caption);
    }
    PnlFlags->SetCaptions(captions);
    if (PnlFlags->isHidden()) {
        return;
    }
    // An open day-flag panel must not offer a list without check marks: saving it would wipe
    // the day's flags.
    if (checks == TDayChecks::FromStore) {
        ShowDayFlagChecks();
        return;
    }
    for (int row = 0; row < static_cast<int>(captions.size()); ++row) {
        PnlFlags->SetChecked(
            row, std::find(checked.begin(), checked.end(), captions[row]) != checked.end());
    }
}

void TfrmPropertyPage::ShowDay(int offset) {
    LoadData();
    DayOffset = offset;
    TDateTime day = SelectedDay();
    int matches = 0;
    int shown = 0;
    for (const TMondrelDate& appointment : MonthDates) {
        if (!SameDay(appointment.Date, day)) {
            continue;
        }
        if (matches >= offset && shown <= 2) {
            Blocks[shown]->Fill(appointment.ID, FormatTime(appointment.Time),
                                appointment.Discription, IsBlankScript(appointment.Script));
            ++shown;
        }
        ++matches;
    }
    for (int slot = shown; slot < 3; ++slot) {
        Blocks[slot]->Clear();
    }
    // Setting the range and position here is no user scrolling.
    QSignalBlocker quiet(ScrollBar);
    ScrollBar->setMaximum(shown == 3 ? matches - 3 : 0);
    ScrollBar->setValue(std::clamp(offset, 0, ScrollBar->maximum()));
}

void TfrmPropertyPage::ScrollBarChange() {
    ShowDay(ScrollBar->value());
}

void TfrmPropertyPage::DeleteAppointment(int slot) {
    std::string question = "You are about to delete this Dataset:\r\n\r\n" +
                           ToStdString(Blocks[slot]->Description()) +
                           "\r\n\r\nDo you want to continue?";
    // Return answers No: deleting takes a deliberate Yes.
    TMsgButton answer = ShowMessageBox(question, TMsgIcon::Question,
                                       {TMsgButton::Yes, TMsgButton::No}, TMsgButton::No);
    if (Closing()) {
        return;
    }
    if (answer == TMsgButton::Yes) {
        DeleteDate(PageSettings.Database, Blocks[slot]->AppointmentId());
    }
    LoadData();
    ShowDay(0);
}

// ---- Appointment editor ----

void TfrmPropertyPage::OpenEditor(int64_t id) {
    EditedId = id;
    if (id == -1) {
        PnlTermin->EdtDiscription->clear();
        PnlTermin->EdtValue->clear();
        PnlTermin->EdtScript->clear();
        PnlTermin->EdtHour->clear();
        PnlTermin->EdtMin->clear();
        PnlTermin->DTPDate->setDate(ToQDate(SelectedDay()));
    } else {
        std::optional<TMondrelDate> found = FindDate(PageSettings.Database, id);
        if (!found) {
            // Deleted meanwhile (in another page, by a tool): its block must not stay.
            ShowDay(0);
            throw EMondrelError("The appointment no longer exists.");
        }
        const TMondrelDate& appointment = *found;
        TTimeParts time = DecodeTime(appointment.Time);
        PnlTermin->EdtDiscription->setText(ToQString(appointment.Discription));
        PnlTermin->EdtValue->setText(ToQString(appointment.Value));
        PnlTermin->EdtScript->setText(ToQString(appointment.Script));
        PnlTermin->EdtHour->setText(QString::number(time.Hour));
        PnlTermin->EdtMin->setText(QString::number(time.Minute));
        PnlTermin->DTPDate->setDate(ToQDate(appointment.Date));
    }
    PnlTermin->show();
    PnlTermin->raise();
    PnlTermin->EdtDiscription->setFocus();
}

void TfrmPropertyPage::BtnSaveDateClick() {
    std::optional<int> hour = ParseInteger(ToStdString(PnlTermin->EdtHour->text()));
    std::optional<int> minute = ParseInteger(ToStdString(PnlTermin->EdtMin->text()));
    if (!hour || !minute) {
        ShowMessageBox("Invalid time setting!", TMsgIcon::Warning, {TMsgButton::OK});
        return;
    }
    TMondrelDate appointment;
    appointment.ID = EditedId;
    appointment.Discription = ToStdString(PnlTermin->EdtDiscription->text());
    appointment.Value = ToStdString(PnlTermin->EdtValue->text());
    // Blanks alone name no script: stored as none, as the trigger reads them.
    appointment.Script = ToStdString(PnlTermin->EdtScript->text());
    if (IsBlankScript(appointment.Script)) {
        appointment.Script.clear();
    }
    // Hours beyond 23 and minutes beyond 59 are no time of day; that error ends the save.
    appointment.Time = EncodeTime(*hour, *minute, 0, 0);
    appointment.Date = FromQDate(PnlTermin->DTPDate->date());
    if (EditedId == -1) {
        AddDate(PageSettings.Database, appointment);
    } else {
        // Moved to a moment still ahead, a done appointment is to fire again there.
        SaveEditedDate(PageSettings.Database, appointment, Now());
    }
    RefreshView();
    LoadData();
    ShowDay(0);
    PnlTermin->hide();
}

void TfrmPropertyPage::BtnDateCloseClick() {
    PnlTermin->hide();
}

void TfrmPropertyPage::ImgScriptSelectClick() {
    std::optional<std::string> script = PickScript(InstanceControl.Get());
    BackInFront();
    if (script && !Closing()) {
        PnlTermin->EdtScript->setText(ToQString(*script));
    }
}

// ---- Setup panel ----

void TfrmPropertyPage::ImgSetupClick() {
    PnlSetup->TabbedNotebook1->setCurrentIndex(0);
    QTableWidget* grid = PnlSetup->SGEvents;
    TFlagGridWidths widths = FlagGridColumnWidths(grid->width());
    grid->setColumnWidth(0, widths.Caption);
    grid->setColumnWidth(1, widths.Variable);
    grid->setColumnWidth(2, widths.Color);
    // Opened first: also where the flags cannot be read (no file yet, not a database) this is
    // the place to choose another path.
    PnlSetup->show();
    PnlSetup->raise();
    FillFlagGrid();
}

void TfrmPropertyPage::FillFlagGrid() {
    try {
        FlagList = GetFlags(PageSettings.Database);
    } catch (...) {
        // No grid of another file's flags, whose Delete would act on this one.
        ListFlags({});
        throw;
    }
    ListFlags(FlagList);
    // Like every grid, this one always has a selected row: the first after a refill.
    PnlSetup->SGEvents->setCurrentCell(0, 0);
    PnlSetup->SGEvents->selectRow(0);
}

void TfrmPropertyPage::ListFlags(const TFlags& flags) {
    QTableWidget* grid = PnlSetup->SGEvents;
    grid->clearContents();
    grid->setRowCount(1);
    FlagRowIds.clear();
    for (const TFlag& flag : flags) {
        if (flag.isFix != 0) {
            continue;
        }
        int row = static_cast<int>(FlagRowIds.size());
        if (row > 0) {
            grid->setRowCount(row + 1);
        }
        FlagRowIds.push_back(flag.ID);
        grid->setItem(row, 0, new QTableWidgetItem(ToQString(flag.Caption)));
        grid->setItem(row, 1, new QTableWidgetItem(ToQString(flag.Variable)));
        grid->setItem(row, 2, new QTableWidgetItem(QString::number(flag.Color)));
    }
    PnlSetup->Blank->setVisible(FlagRowIds.empty());
}

void TfrmPropertyPage::CombColorsChange() {
    if (std::optional<int32_t> value =
            FindColorValue(ColorList, ToStdString(PnlSetup->CombColors->currentText()))) {
        PnlSetup->ShpEventColor->SetBrushColor(ColorToQColor(*value));
    }
}

void TfrmPropertyPage::BtnFlagAddClick() {
    std::string caption = ToStdString(PnlSetup->EdtFlagName->text());
    std::string variable = ToStdString(PnlSetup->EdtFlagVariable->text());
    int32_t color =
        FindColorValue(ColorList, ToStdString(PnlSetup->CombColors->currentText())).value_or(0);
    // A flag without a caption cannot be told apart in the lists, one without a variable
    // tells the host nothing.
    if (std::optional<std::string> problem = FlagFieldsProblem(caption, variable)) {
        ShowMessageBox(*problem, TMsgIcon::Warning, {TMsgButton::OK});
        return;
    }
    AddFlag(PageSettings.Database, caption, variable, color);
    PnlSetup->EdtFlagVariable->clear();
    PnlSetup->EdtFlagName->clear();
    FillFlagGrid();
    // The day-flag list offers the new flag at once, keeping the checks not yet saved.
    ListDayFlagCaptions(TDayChecks::Kept);
}

void TfrmPropertyPage::BtnFlagDelClick() {
    int row = -1;
    for (const QTableWidgetSelectionRange& range : PnlSetup->SGEvents->selectedRanges()) {
        if (row < 0 || range.topRow() < row) {
            row = range.topRow();
        }
    }
    // No flag listed, or none selected: nothing to delete.
    if (row < 0 || row >= static_cast<int>(FlagRowIds.size())) {
        return;
    }
    const int64_t id = FlagRowIds[row];
    std::string caption;
    for (const TFlag& flag : FlagList) {
        caption = flag.ID == id ? flag.Caption : caption;
    }
    const size_t days = InTransaction(PageSettings.Database, [id](TDBTransaction& transaction) {
        return DaysWithFlag(transaction, id).size();
    });
    // The flag goes with every day it is set on: one stray click or Return must not do that.
    TMsgButton answer = ShowMessageBox(FlagDeleteQuestion(caption, days), TMsgIcon::Question,
                                       {TMsgButton::Yes, TMsgButton::No}, TMsgButton::No);
    if (Closing() || answer != TMsgButton::Yes) {
        return;
    }
    DeleteFlag(PageSettings.Database, id);
    FillFlagGrid();
    // Nor does it offer a flag that is gone.
    ListDayFlagCaptions(TDayChecks::Kept);
    // No row stays chosen: a second click of Delete must not take the next flag along.
    PnlSetup->SGEvents->setCurrentItem(nullptr);
    PnlSetup->SGEvents->clearSelection();
}

void TfrmPropertyPage::BtnSetupCloseClick() {
    std::string candidate = ToStdString(PnlSetup->EdtDataBase->text());
    const bool changed = candidate != PageSettings.Database;
    std::string invalid = "Invalid file!";
    if (IsDatabasePathAcceptable(candidate)) {
        // Another file must be one the page can work on before it takes the old one's place.
        std::optional<std::string> problem;
        if (changed) {
            problem = DatabaseProblem(candidate);
        }
        if (!problem) {
            PageSettings.Database = candidate;
            UpdateTitle();
            PnlSetup->hide();
            if (changed) {
                // The month, the day view and the marks still show the old file's rows, whose
                // IDs mean other rows in the new one.
                RefreshView();
                ShowDay(0);
            }
            return;
        }
        invalid += "\r\n\r\n" + *problem;
    }
    TMsgButton answer =
        ShowMessageBox(invalid, TMsgIcon::Warning, {TMsgButton::Abort, TMsgButton::Ignore});
    if (!Closing() && answer == TMsgButton::Ignore) {
        PnlSetup->hide();
        PnlSetup->EdtDataBase->setText(ToQString(PageSettings.Database));
    }
}

void TfrmPropertyPage::BtnDatabaseBrowseClick() {
    PnlSetup->EdtDataBase->setFocus();
    ShowMessageBox("Not implemented in Betaversion!", TMsgIcon::None, {TMsgButton::OK});
}

void TfrmPropertyPage::ImgVariableSelectClick() {
    std::optional<std::string> variable = PickVariable(InstanceControl.Get());
    BackInFront();
    if (variable && !Closing()) {
        PnlSetup->EdtFlagVariable->setText(ToQString(*variable));
    }
}

// ---- Day flags ----

void TfrmPropertyPage::ImgFlagsAddClick() {
    if (!PnlFlags->isHidden()) {
        PnlFlags->hide();
        RefreshView();
        return;
    }
    ShowDayFlagChecks();
    PnlFlags->LblDate->setText(ToQString(FormatShortDate(SelectedDay())));
    PnlFlags->show();
    PnlFlags->raise();
}

void TfrmPropertyPage::ShowDayFlagChecks() {
    TSkippedRows unreadable;
    TDayFlags dayFlags = GetDayFlags(PageSettings.Database, SelectedDay(), &unreadable);
    ReportSkippedRows(unreadable);
    std::vector<std::string> captions = PnlFlags->Captions();
    for (int row = 0; row < static_cast<int>(captions.size()); ++row) {
        PnlFlags->SetChecked(row, false);
        if (DayCarriesCaption(dayFlags, FlagList, captions[row])) {
            PnlFlags->SetChecked(row, true);
        }
    }
    ShownDayCaptions = PnlFlags->CheckedCaptions();
}

void TfrmPropertyPage::BtnFlagsSaveClick() {
    // Only what the user changed since the list was filled: a flag another program set on the
    // day meanwhile stays.
    TCaptionChanges changes = CaptionChanges(ShownDayCaptions, PnlFlags->CheckedCaptions());
    ChangeDayFlags(PageSettings.Database, FlagIdsForCaptions(changes.Checked, FlagList),
                   FlagIdsForCaptions(changes.Unchecked, FlagList), SelectedDay());
    PnlFlags->hide();
    RefreshView();
}
