// The main window's log pages: the log queries' events, the date-range dialog, and the report
// into a document made from a template.
#include "app/fmain.h"

#include "app/fselect.h"
#include "app/tables.h"
#include "grid/dbgridex.h"
#include "platform/application.h"
#include "platform/datasource.h"
#include "platform/datetime.h"
#include "platform/imagelist.h"
#include "platform/query.h"
#include "platform/text.h"
#include "app/fmain_ui.h"

#include <QCheckBox>
#include <QFontMetrics>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <functional>
#include <utility>
#include <vector>

namespace {

const QString kCaption = QStringLiteral(" Дравик Ltd");
// Marks typed into the report's cells: real mark characters, which the templates' mark cells
// show in a font that holds them (a heavy check mark for a set flag, a filled and an empty
// square for a channel or an inversion that is on or off).
const QString kVemorSet = QString(QChar(0x2714));
const QString kSulmSet = QString(QChar(0x25A0));
const QString kSulmClear = QString(QChar(0x25A1));

// Clears a dataset's controls while the report walks through it, and lets them follow again
// however the walk ends.
class ControlsDisabled {
public:
    explicit ControlsDisabled(TDataSet& ds) : ds_(ds) { ds_.DisableControls(); }
    ~ControlsDisabled() { ds_.EnableControls(); }
    ControlsDisabled(const ControlsDisabled&) = delete;
    ControlsDisabled& operator=(const ControlsDisabled&) = delete;

private:
    TDataSet& ds_;
};

QString YesNo(bool value)
{
    return value ? QStringLiteral("ДА") : QStringLiteral("НЕТ");
}

}  // namespace

// ---- Log grids -------------------------------------------------------------------------------

namespace {

// The look both log grids share.
void SetupLogGrid(TDBGridEx& g, TDataSource& source)
{
    g.BeginLayout();
    g.SetBorderStyle(bsNone);
    g.SetFlat(true);
    g.SetColor(clBtnFace);
    g.SetFixedColor(clBtnShadow);
    g.SetFooterColor(clBtnShadow);
    g.TitleFont().SetColor(clWhite);
    g.FooterFont().SetColor(clWhite);
    g.SetOptions({dgTitles, dgColLines, dgTabs, dgRowSelect, dgAlwaysShowSelection, dgConfirmDelete, dgCancelOnExit});
    g.SetOptionsEx({dghHighlightFocus, dghClearSelection});
    g.SetUseMultiTitle(true);
    g.SetFooterRowCount(1);
    g.SumList().SetActive(true);
    g.SetRowHeight(16);
    g.VertScrollBar().SetTracking(true);
    g.SetDataSource(&source);
}

// A channel that is off: an empty box; on: a red one.
QImage ChannelPicture(bool on)
{
    QImage img(11, 11, QImage::Format_RGB32);
    img.fill(ToQColor(clBtnFace));
    QPainter p(&img);
    p.setPen(ToQColor(clBlack));
    p.setBrush(on ? ToQColor(clRed) : ToQColor(clWhite));
    p.drawRect(1, 1, 8, 8);
    return img;
}

// Widths of the columns whose footers show the record count.
constexpr int kVemorCountWidth = 34;
constexpr int kSulmCountWidth = 50;
// Room a cell needs besides its text: the text's margin and a pixel clear of the next column.
constexpr int kTextMargins = 4;
// The count footer keeps a little more, so the number does not touch the grid's edge.
constexpr int kCountMargins = 6;

// Width a column needs for the text of this form: every digit counts as the font's widest.
int TextNeed(const QFont& font, QString sample)
{
    const QFontMetrics metrics(font);
    QChar widest = QLatin1Char('0');
    for (char d = '1'; d <= '9'; ++d)
        if (metrics.horizontalAdvance(QLatin1Char(d)) > metrics.horizontalAdvance(widest))
            widest = QLatin1Char(d);
    for (QChar& ch : sample)
        if (ch.isDigit())
            ch = widest;
    return metrics.horizontalAdvance(sample) + kTextMargins;
}

// A column of a log grid that may give up room: its own width and a text of its widest form.
struct LogColumnWidth {
    QString field;
    int width = 0;
    QString widest;
};

// The count footer's column widens while the count would not fit it whole (a million records in
// 34 pixels showed as "00000"). Whatever the columns then take beyond the grid's visible width
// (its width less a vertical scroll bar) comes off the columns that have room beyond their
// widest text, so no column is pushed past the visible edge and cut.
void FitLogColumns(TDBGridEx& g, const QString& countField, int countWidth, const std::vector<LogColumnWidth>& room)
{
    TColumnEx* count = g.Columns().FindColumnByName(countField);
    if (!count)
        return;
    const QString countText = g.GetFooterValueText(0, *count);
    const int countNeed = QFontMetrics(count->Footer().Font().ToQFont()).horizontalAdvance(countText) + kCountMargins;
    std::vector<std::pair<TColumnEx*, int>> widths;
    int total = 0;
    for (int i = 0; i < g.Columns().Count(); ++i) {
        TColumnEx* c = g.Columns()[i];
        int w = c->Width();
        if (c == count)
            w = std::max(countWidth, countNeed);
        for (const LogColumnWidth& r : room)
            if (c->FieldName() == r.field)
                w = r.width;
        widths.emplace_back(c, w);
        total += w + g.GridLineWidth();
    }
    const int visible =
        g.contentsRect().width() - g.style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, g.verticalScrollBar());
    int excess = total - visible;
    for (const LogColumnWidth& r : room) {
        if (excess <= 0)
            break;
        for (auto& [c, w] : widths) {
            if (c->FieldName() != r.field)
                continue;
            const int give = std::clamp(w - TextNeed(c->Font().ToQFont(), r.widest), 0, excess);
            w -= give;
            excess -= give;
        }
    }
    for (auto& [c, w] : widths)
        if (c->Width() != w)
            c->SetWidth(w);
}

// The columns of the Vemor log that may give up room, the one with the most first.
const std::vector<LogColumnWidth>& VemorLogRoom()
{
    static const std::vector<LogColumnWidth> room{{QStringLiteral("fTimeStr"), 78, QStringLiteral("00:00:00:000")},
                                                  {QStringLiteral("FDate"), 62, QStringLiteral("00.00.0000")}};
    return room;
}

const std::vector<LogColumnWidth>& SulmLogRoom()
{
    static const std::vector<LogColumnWidth> room{{QStringLiteral("FDate"), 50, QStringLiteral("00.00.00")}};
    return room;
}

TColumnEx* AddColumn(TDBGridEx& g, const QString& field, const QString& title, int width, bool vertical = false)
{
    TColumnEx* c = g.Columns().Add();
    c->SetFieldName(field);
    // Without a caption the title follows the field's display label.
    if (!title.isEmpty())
        c->Title().SetCaption(title);
    if (vertical)
        c->Title().SetOrientation(tohVertical);
    c->SetWidth(width);
    return c;
}

}  // namespace

void TfrmMain::SetupLogGrids()
{
    dsProtokol_ = std::make_unique<TDataSource>(qryProtokol_.get());
    dsProtokol_->Name = QStringLiteral("dsProtokol");
    dsCProtokol_ = std::make_unique<TDataSource>(qryCProtokol_.get());
    dsCProtokol_->Name = QStringLiteral("dsCProtokol");

    // The layout places the grids; columns, footers and pictures are set up here.
    TDBGridEx& g = *ui->grdProtokol;
    SetupLogGrid(g, *dsProtokol_);
    TColumnEx* c = AddColumn(g, QStringLiteral("FDate"), QStringLiteral("Дата"), VemorLogRoom()[1].width);
    c->Footer().SetValueType(fvtStaticText);
    c->Footer().SetValue(QStringLiteral("кол-во : "));
    c->Footer().SetAlignment(taRightJustify);
    AddColumn(g, QStringLiteral("fTimeStr"), QStringLiteral("Время"), VemorLogRoom()[0].width);
    AddColumn(g, QStringLiteral("FVemorOn"), QStringLiteral("ВЕМОР"), 20, true);
    AddColumn(g, QStringLiteral("FSelfOn"), QStringLiteral("Самозап."), 20, true);
    for (int i = 1; i <= 4; ++i)
        AddColumn(g, QStringLiteral("FBtn%1").arg(i), QString(), 20, true)->SetColor(clSilver);
    AddColumn(g, QStringLiteral("FEngine"), QStringLiteral("Двигат."), 20, true);
    AddColumn(g, QStringLiteral("FRazr"), QStringLiteral("Разреш."), 20, true);
    AddColumn(g, QStringLiteral("FUn"), QStringLiteral("Uнорма"), 20, true);
    AddColumn(g, QStringLiteral("FUk"), QStringLiteral("U крит."), 20, true);
    AddColumn(g, QStringLiteral("FU"), QStringLiteral("U, В"), kVemorCountWidth)->Footer().SetValueType(fvtCount);
    g.EndLayout();

    TDBGridEx& cg = *ui->grdCProtokol;
    SetupLogGrid(cg, *dsCProtokol_);
    c = AddColumn(cg, QStringLiteral("FDate"), QStringLiteral("Дата"), SulmLogRoom()[0].width);
    c->Footer().SetValueType(fvtStaticText);
    c->Footer().SetValue(QStringLiteral("Кол-во : "));
    c->Footer().SetAlignment(taRightJustify);
    AddColumn(cg, QStringLiteral("FTime"), QStringLiteral("Время"), kSulmCountWidth)->Footer().SetValueType(fvtCount);
    imgChannels_ = std::make_unique<TImageList>(11, 11);
    imgChannels_->Add(ChannelPicture(false));
    imgChannels_->Add(ChannelPicture(true));
    for (int i = 1; i <= 16; ++i) {
        c = AddColumn(cg, QStringLiteral("F%1").arg(i), QStringLiteral("%1").arg(i, 2), 16, true);
        c->Footer().SetValueType(fvtSum);
        // The key's line is the picture's index.
        c->KeyList().Add(QStringLiteral("0"));
        c->KeyList().Add(QStringLiteral("1"));
        c->SetImageList(imgChannels_.get());
    }
    cg.EndLayout();
}

void TfrmMain::DestroyLogGrids()
{
    // The grids go before the data sources and queries they are bound to, which are members
    // and so would go before the window's children.
    delete ui->grdProtokol;
    ui->grdProtokol = nullptr;
    delete ui->grdCProtokol;
    ui->grdCProtokol = nullptr;
}

TDBGridEx& TfrmMain::GrdProtokol()
{
    return *ui->grdProtokol;
}

TDBGridEx& TfrmMain::GrdCProtokol()
{
    return *ui->grdCProtokol;
}

// ---- Log queries ----------------------------------------------------------------------------

QString TfrmMain::ContactTypeName(int code)
{
    static const std::array<const char16_t*, 5> names{u"НЕТ", u"СТОП1", u"СТОП2", u"ГАО", u"ТРЗ"};
    return code >= 0 && code < int(names.size()) ? QString::fromUtf16(names[std::size_t(code)]) : QString();
}

TQuery& TfrmMain::LogQuery()
{
    return DeviceKind() == 1 ? *qryCProtokol_ : *qryProtokol_;
}

Variant TfrmMain::AccountValue(const QString& name, bool second) const
{
    return (second ? FCAccountRow : FAccountRow).value(name.toLower(), Variant::Null());
}

QString TfrmMain::AccountText(const QString& name) const
{
    const Variant v = AccountValue(name);
    return v.IsClear() ? QString() : v.AsString();
}

QString TfrmMain::AccountBeginText(bool second) const
{
    const Variant v = AccountValue(QStringLiteral("fbegin"), second);
    if (v.IsClear())
        return QString();
    // The second device keeps its account begin as the device's own clock text.
    if (v.Type() == varString)
        return v.AsString();
    return FormatDateTime(QStringLiteral("dd.mm.yyyy hh:nn:ss"), v.AsDateTime());
}

void TfrmMain::KeepAccountRow(QHash<QString, Variant>& row)
{
    row.clear();
    if (!qryEdit_->Eof())
        for (const TField* f : qryEdit_->Fields())
            row.insert(f->FieldName().toLower(), f->Value());
}

void TfrmMain::qryProtokolBeforeOpen()
{
    // The row is kept apart from qryEdit, which every other handler reuses.
    SelectVemorRow(*qryEdit_, SelectedNumber);
    KeepAccountRow(FAccountRow);
    for (int i = 1; i <= 4; ++i) {
        const Variant code = AccountValue(QStringLiteral("fbtn%1").arg(i));
        // A device without its rows reads as code 0.
        const QString name = ContactTypeName(code.IsClear() ? 0 : code.AsInteger());
        if (!name.isEmpty())
            qryProtokol_->FieldByName(QStringLiteral("FBtn%1").arg(i))->SetDisplayLabel(name);
    }
}

void TfrmMain::qryProtokolAfterOpen()
{
    qryProtokol_->Last();
    FitLogColumns(*ui->grdProtokol, QStringLiteral("FU"), kVemorCountWidth, VemorLogRoom());
    ui->lblAccount->setText(QStringLiteral("Начало учета :\n") + AccountBeginText() +
                            QStringLiteral("\n\nВнешних пусков  :  ") + AccountText(QStringLiteral("fon")) +
                            QStringLiteral("\nСамозапусков     :  ") + AccountText(QStringLiteral("fselfon")));
    ui->grdProtokol->setFocus();
}

void TfrmMain::qryProtokolCalcFields(TDataSet& ds)
{
    const TField* time = ds.FieldByName(QStringLiteral("FTime"));
    const TField* ms = ds.FieldByName(QStringLiteral("FmilSec"));
    ds.FieldByName(QStringLiteral("fTimeStr"))
        ->SetAsString(FormatDateTime(QStringLiteral("hh:nn:ss"), time->AsDateTime()) + QLatin1Char(':') +
                      FormatFloat(QStringLiteral("000"), ms->AsInteger()));
}

void TfrmMain::qryCProtokolBeforeOpen()
{
    SelectSulmAccount(*qryEdit_, SelectedNumber);
    KeepAccountRow(FCAccountRow);
}

void TfrmMain::qryCProtokolAfterOpen()
{
    qryCProtokol_->Last();
    FitLogColumns(*ui->grdCProtokol, QStringLiteral("FTime"), kSulmCountWidth, SulmLogRoom());
    ui->lblCAccount->setText(QStringLiteral("Начало учета :\n") + AccountBeginText(true));
    ui->grdCProtokol->setFocus();
}

// ---- Date-range dialog ------------------------------------------------------------------------

TfrmSelect* TfrmMain::SelectDialog()
{
    if (!frmSelect)
        frmSelect = new TfrmSelect(this);
    return frmSelect;
}

void TfrmMain::btnSelectProtokolClick()
{
    SelectDialog()->exec();
}

// ---- Report -------------------------------------------------------------------------------------

QString TfrmMain::ReportFileName(const QString& prefix, int number, TDateTime day)
{
    return prefix + QString::number(number) + QLatin1Char('_') + FormatDateTime(QStringLiteral("dd_mm_yyyy"), day) +
           QStringLiteral(".docx");
}

Currency TfrmMain::ChannelSum(int channel) const
{
    // The footers keep one summary item each: the record count first, then the 16 channel sums.
    const TDBSumCollection& sums = ui->grdCProtokol->SumList().SumCollection();
    if (ui->grdCProtokol->SumList().Active() && channel < sums.Count())
        return sums.GetItem(channel)->SumValue();
    // Without the grid's summary the sum is counted here.
    TQuery& q = *qryCProtokol_;
    if (!q.Active())
        return Currency();
    const TField* f = q.FieldByName(QStringLiteral("F%1").arg(channel));
    ControlsDisabled quiet(q);
    const int at = q.RecNo();
    std::int64_t sum = 0;
    for (q.First(); !q.Eof(); q.Next())
        sum += f->AsInteger();
    if (at > 0)
        q.SetRecNo(at);
    return Currency::FromInt(sum);
}

void TfrmMain::ShowStatus(const QString& text)
{
    SetStatus(text);
    RepaintStatus();
}

void TfrmMain::GoToBookmark(const QString& name)
{
    wd.GoToBookmark(name);
}

void TfrmMain::WordTypeText(const QString& text)
{
    wd.TypeText(text);
}

void TfrmMain::WordNextCell()
{
    wd.MoveRightCell();
}

void TfrmMain::btnSaveProtokolClick()
{
    try {
        if (DeviceKind() == 0)
            ReportVemor();
        else if (DeviceKind() == 1)
            ReportSulm();
    } catch (...) {
        // A half-built report is dropped with its rows; the handler shows what failed.
        wd.Close();
        throw;
    }
}

void TfrmMain::ReportBegin(const QString& templateName)
{
    ShowStatus(QStringLiteral(" Открытие шаблона ..."));
    wd.Open(ExeDir() + QStringLiteral("docs/") + templateName);
    ShowStatus(QStringLiteral(" Подключение к документу ..."));
    wd.SaveAs(ExeDir() + QStringLiteral("docs/temp.docx"));
    GoToBookmark(QStringLiteral("num"));
    WordTypeText(QStringLiteral("  ") + QString::number(SelectedNumber) + QStringLiteral("  "));
}

void TfrmMain::ReportEnd(const QString& prefix)
{
    dlgSave.Title = QStringLiteral(" Сохранение протокола");
    dlgSave.Filter = QStringLiteral("документы *.docx|*.docx");
    dlgSave.DefaultExt = QStringLiteral("docx");
    dlgSave.InitialDir = QDir::homePath();
    dlgSave.FileName = ReportFileName(prefix, SelectedNumber, Date());
    // The templates and the working copy are rewritten or read by every report.
    dlgSave.Protected = {ExeDir() + QStringLiteral("docs/protokol.docx"), ExeDir() + QStringLiteral("docs/cprotokol.docx"),
                         ExeDir() + QStringLiteral("docs/temp.docx")};
    if (dlgSave.Execute(this)) {
        wd.SaveAs(dlgSave.FileName);
        MessageBox(kCaption, QStringLiteral("Протокол сохранен !"), MsgIcon::Information);
    }
    ProcessMessages();
    ShowStatus(QStringLiteral(" Отключение от документа ..."));
    wd.Close();
    ShowStatus(QString());
}

// Checks shared by both device kinds; false when the report cannot start.
static bool ReportCanStart(TQuery& log, const QString& templatePath, const std::function<void(const QString&)>& status)
{
    if (!log.Active() || log.RecordCount() <= 0) {
        MessageBox(kCaption, QStringLiteral("Не отобрано ни одной записи !"), MsgIcon::Error);
        status(QString());
        return false;
    }
    status(QStringLiteral(" Проверка шаблона ..."));
    if (!QFileInfo(templatePath).isFile()) {
        // The check's own text stays up: the operator sees which step stopped the report.
        MessageBox(kCaption, QStringLiteral("Не найден шаблон !"), MsgIcon::Error);
        return false;
    }
    return true;
}

void TfrmMain::ReportVemor()
{
    TQuery& log = *qryProtokol_;
    if (!ReportCanStart(log, ExeDir() + QStringLiteral("docs/protokol.docx"), [this](const QString& t) { ShowStatus(t); }))
        return;
    ReportBegin(QStringLiteral("protokol.docx"));

    ControlsDisabled quiet(log);
    log.First();
    ShowStatus(QStringLiteral(" Сохранение протокола ..."));

    GoToBookmark(QStringLiteral("btn"));
    for (int i = 1; i <= 4; ++i) {
        WordTypeText(log.FieldByName(QStringLiteral("fbtn%1").arg(i))->DisplayLabel());
        WordNextCell();
    }

    // The log can be long: its rows go straight to the document's file, one at a time.
    GoToBookmark(QStringLiteral("tab1"));
    static const std::array<const char*, 10> flags{"FVemorOn", "FSelfOn", "FBtn1", "FBtn2", "FBtn3",
                                                   "FBtn4",    "FEngine", "FRazr", "FUn",   "FUk"};
    std::array<const TField*, 10> flagFields{};
    for (std::size_t i = 0; i < flags.size(); ++i)
        flagFields[i] = log.FieldByName(QLatin1String(flags[i]));
    const TField* date = log.FieldByName(QStringLiteral("FDate"));
    const TField* time = log.FieldByName(QStringLiteral("fTimeStr"));
    const TField* u = log.FieldByName(QStringLiteral("FU"));
    wd.BeginRows();
    QStringList cells;
    for (; !log.Eof(); log.Next()) {
        cells.clear();
        cells << FormatDateTime(QStringLiteral("dd.mm.yyyy"), date->AsDateTime()) << time->AsString();
        for (const TField* flag : flagFields)
            cells << (flag->AsBoolean() ? kVemorSet : QString());
        cells << QString::number(u->AsInteger());
        wd.AddRow(cells);
    }
    wd.EndRows();

    GoToBookmark(QStringLiteral("tab2"));
    bool first = true;
    const auto row = [&](const QString& caption, const QString& value) {
        if (!first)
            WordNextCell();
        first = false;
        WordTypeText(caption);
        WordNextCell();
        WordTypeText(value);
    };
    const auto group = [&](const QString& caption) { row(caption, QString()); };
    // Parameters never read from the device are left blank, not shown as the zeros of a scanned row.
    const bool paramsRead = !AccountText(QStringLiteral("fdatetime")).isEmpty();
    const auto yesNo = [&](const QString& caption, const QString& field) {
        const Variant v = AccountValue(field);
        row(caption, paramsRead ? YesNo(!v.IsClear() && v.AsBoolean()) : QString());
    };
    const auto number = [&](const QString& caption, const QString& field) {
        const Variant v = AccountValue(field);
        row(caption, paramsRead ? QString::number(v.IsClear() ? 0 : v.AsInteger()) : QString());
    };
    const auto contact = [](int i) { return QStringLiteral("    -  Контакт %1").arg(i); };
    const QString razr = QStringLiteral("    -  Разрешение");
    const QString un = QStringLiteral("    -  U норма");
    const QString uk = QStringLiteral("    -  U критическое");

    group(QStringLiteral("Запись в протокол при включенном двигателе :"));
    for (int i = 1; i <= 4; ++i)
        yesNo(contact(i), QStringLiteral("fwriteengineon%1").arg(i));
    yesNo(razr, QStringLiteral("fwriteengineonrazr"));
    yesNo(un, QStringLiteral("fwriteengineonun"));
    yesNo(uk, QStringLiteral("fwriteengineonuk"));
    group(QStringLiteral("Запись в протокол при отключенном двигателе :"));
    for (int i = 1; i <= 4; ++i)
        yesNo(contact(i), QStringLiteral("fwriteengineoff%1").arg(i));
    yesNo(razr, QStringLiteral("fwriteengineoffrazr"));
    yesNo(un, QStringLiteral("fwriteengineoffun"));
    yesNo(uk, QStringLiteral("fwriteengineoffuk"));
    group(QStringLiteral("Инвертировать сигнал :"));
    for (int i = 1; i <= 4; ++i)
        yesNo(contact(i), QStringLiteral("finvert%1").arg(i));
    yesNo(QStringLiteral("    -  Двигатель"), QStringLiteral("finvertengine"));
    yesNo(razr, QStringLiteral("finvertrazr"));
    yesNo(QStringLiteral("Индивидуальный контроль контактов отключения :"), QStringLiteral("fpersonalkontrolko"));
    yesNo(QStringLiteral("Разрешение самозапуска :"), QStringLiteral("frazrselfon"));
    yesNo(QStringLiteral("Использовать контакт разрешения самозапуска :"), QStringLiteral("frazr"));
    group(QStringLiteral("Типы контактов отключения :"));
    for (int i = 1; i <= 4; ++i)
        row(contact(i), log.FieldByName(QStringLiteral("FBtn%1").arg(i))->DisplayLabel());
    group(QStringLiteral("Задержка сигнала, мс :"));
    for (int i = 1; i <= 4; ++i)
        number(contact(i), QStringLiteral("fdelay%1").arg(i));
    number(QStringLiteral("    -  Двигатель"), QStringLiteral("fdelayengine"));
    number(razr, QStringLiteral("fdelayrazr"));
    number(un, QStringLiteral("fdelayun"));
    number(uk, QStringLiteral("fdelayuk"));
    number(QStringLiteral("Уровень фильтрации контактов отключения, % :"), QStringLiteral("ffiltrko"));
    number(QStringLiteral("Напряжение нормы, В :"), QStringLiteral("fureg"));
    number(QStringLiteral("Напряжение критическое, В :"), QStringLiteral("fualert"));
    number(QStringLiteral("Время паузы самозапуска, сек :"), QStringLiteral("ftpause"));
    number(QStringLiteral("Время блокировки самозапуска, сек :"), QStringLiteral("ftblock"));
    const Variant koef = AccountValue(QStringLiteral("fkoef"));
    row(QStringLiteral("Калибровочный коэффициент :"),
        paramsRead ? FormatFloat(QStringLiteral("0.000"), koef.IsClear() ? 0.0 : koef.AsDouble()) : QString());

    GoToBookmark(QStringLiteral("tab3"));
    WordTypeText(QStringLiteral("Начало учета :"));
    WordNextCell();
    WordTypeText(AccountBeginText());
    WordNextCell();
    WordTypeText(QStringLiteral("Количество внешних пусков :"));
    WordNextCell();
    WordTypeText(AccountText(QStringLiteral("fon")));
    WordNextCell();
    WordTypeText(QStringLiteral("Количество самозапусков :"));
    WordNextCell();
    WordTypeText(AccountText(QStringLiteral("fselfon")));

    ReportEnd(QStringLiteral("ВЕМОР_№_"));
}

void TfrmMain::ReportSulm()
{
    TQuery& log = *qryCProtokol_;
    if (!ReportCanStart(log, ExeDir() + QStringLiteral("docs/cprotokol.docx"), [this](const QString& t) { ShowStatus(t); }))
        return;
    ReportBegin(QStringLiteral("cprotokol.docx"));

    std::array<Currency, 16> sums{};
    for (int i = 1; i <= 16; ++i)
        sums[std::size_t(i - 1)] = ChannelSum(i);
    ControlsDisabled quiet(log);
    log.First();
    ShowStatus(QStringLiteral(" Сохранение протокола ..."));

    GoToBookmark(QStringLiteral("tab1"));
    const TField* date = log.FieldByName(QStringLiteral("FDate"));
    const TField* time = log.FieldByName(QStringLiteral("FTime"));
    std::array<const TField*, 16> channels{};
    for (int i = 1; i <= 16; ++i)
        channels[std::size_t(i - 1)] = log.FieldByName(QStringLiteral("f%1").arg(i));
    wd.BeginRows();
    QStringList cells;
    for (; !log.Eof(); log.Next()) {
        cells.clear();
        cells << FormatDateTime(QStringLiteral("dd.mm.yyyy"), date->AsDateTime())
              << FormatDateTime(QStringLiteral("hh:nn:ss"), time->AsDateTime());
        for (const TField* channel : channels)
            cells << (channel->AsInteger() == 1 ? kSulmSet : kSulmClear);
        wd.AddRow(cells);
    }
    wd.EndRows();

    GoToBookmark(QStringLiteral("tab2"));
    SelectSulmRow(*qryEdit_, SelectedNumber);
    const bool hasRow = !qryEdit_->Eof();
    // As on the parameter page: only what was read from the device, never a scanned row's defaults.
    const bool paramsRead = hasRow && !qryEdit_->FieldByName(QStringLiteral("fdatetime"))->AsString().isEmpty();
    const QString invert = paramsRead ? qryEdit_->FieldByName(QStringLiteral("finvert"))->AsString() : QString();
    const auto inverted = [&invert](int i) { return i < invert.size() && invert.at(i) == QLatin1Char('1'); };
    for (int i = 0; i < 16; ++i)
        if (QCheckBox* c = FSulmInvert[std::size_t(i)])
            c->setChecked(inverted(i));
    WordTypeText(paramsRead ? qryEdit_->FieldByName(QStringLiteral("fpause"))->AsString() : QString());
    for (int i = 0; i < 16; ++i) {
        WordNextCell();
        WordTypeText(!paramsRead ? QString() : inverted(i) ? kSulmSet : kSulmClear);
    }

    GoToBookmark(QStringLiteral("tab3"));
    WordTypeText(hasRow ? qryEdit_->FieldByName(QStringLiteral("fbegin"))->AsString() : QString());
    for (int i = 1; i <= 16; ++i) {
        WordNextCell();
        const Currency sum = sums[std::size_t(i - 1)];
        WordTypeText(sum == Currency() ? QStringLiteral("-") : FormatFloat(QStringLiteral("0"), sum.ToDouble()));
    }

    GoToBookmark(QStringLiteral("tab0"));
    SelectSulmNames(*qryEdit_, SelectedNumber);
    for (bool firstName = true; !qryEdit_->Eof(); qryEdit_->Next()) {
        if (!firstName)
            WordNextCell();
        firstName = false;
        WordTypeText(qryEdit_->FieldByName(QStringLiteral("fname"))->AsString());
    }

    ReportEnd(QStringLiteral("СУЛМ_№_"));
}
