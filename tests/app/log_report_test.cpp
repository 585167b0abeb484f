// The log page over the program's tables: the date-range dialog, the calculated time text and
// contact titles, clearing, and the report saved as a document made from the shipped templates.
#include "app/fmain.h"
#include "app/fselect.h"
#include "app/tables.h"
#include "grid/dbgridex.h"
#include "platform/datetime.h"
#include "platform/document.h"
#include "platform/query.h"
#include "platform/text.h"
#include "tests/app/app_fixture.h"
#include "tests/support/e2e_fixture.h"
#include "tests/support/sim/device_sim.h"
#include "tests/tables/biglog.h"
#include "tests/tables/heap.h"
#include "app/fmain_ui.h"
#include "app/fselect_ui.h"

#include <QDir>
#include <QFile>
#include <QFontMetrics>
#include <QRegularExpression>
#include <QTimer>

#include <sqlite3.h>

namespace {

const QString kSaved = QStringLiteral("Протокол сохранен !");
const QString kNoRecords = QStringLiteral("Не отобрано ни одной записи !");
const QString kNoTemplate = QStringLiteral("Не найден шаблон !");
const QString kSet = QString(QChar(0x2714));
const QString kMarkFont = QStringLiteral("DejaVu Sans");

// The font of each run of the document part whose text is `text`.
QStringList FontsOfRuns(const QByteArray& xml, const QString& text)
{
    QStringList fonts;
    const QRegularExpression run(QStringLiteral("<w:r>(.*?)</w:r>"));
    const QRegularExpression font(QStringLiteral("<w:rFonts w:ascii=\"([^\"]*)\""));
    for (auto it = run.globalMatch(QString::fromUtf8(xml)); it.hasNext();) {
        const QString r = it.next().captured(1);
        if (!r.endsWith(QStringLiteral(">") + text + QStringLiteral("</w:t>")))
            continue;
        const auto f = font.match(r);
        fonts << (f.hasMatch() ? f.captured(1) : QString());
    }
    return fonts;
}

class LogPageTest : public e2e::AppTest {
protected:
    void SetUp() override
    {
        e2e::AppTest::SetUp();
        previousHook_ = TSaveDialog::SetHook([this](TSaveDialog& dialog) {
            proposed_ = dialog.FileName;
            if (saveAs_.isEmpty())
                return false;
            dialog.FileName = saveAs_;
            return true;
        });
        window_ = std::make_unique<TfrmMain>();
        // The test makes the requests itself, if any.
        window_->GlobalTimer.stop();
        // Only the boxes of the page's own actions count here.
        boxes.Clear();
    }

    void TearDown() override
    {
        window_.reset();
        TSaveDialog::SetHook(previousHook_);
        e2e::AppTest::TearDown();
    }

    TfrmMain& w() { return *window_; }
    QString Bases() { return harness().Folder() + QStringLiteral("bases/"); }
    QString Docs() { return harness().Folder() + QStringLiteral("docs/"); }

    void AddRecord(int fid, TDateTime when, int ms = 0, bool vemorOn = false, int u = 380)
    {
        VemorLogRecord r;
        r.fid = fid;
        r.date = DateOf(when);
        r.time = TimeOf(when);
        r.milSec = ms;
        r.vemorOn = vemorOn;
        r.u = u;
        ASSERT_TRUE(AddVemorLogRecord(w().QryEdit(), r));
    }

    // Device 7 with its parameter and account rows: contact types 2, 0, 4, 1.
    void AddDevice()
    {
        VemorParameters p;
        p.writeEngineOn = {true, false, false, true};
        p.invertEngine = true;
        p.delay = {10, 20, 30, 40};
        p.filtrKO = 55;
        p.ureg = 380;
        p.ualert = 300;
        p.tpause = 5;
        p.tblock = 60;
        p.koef = 1.25;
        p.clockText = DeviceClockText(1, 2, 7, 3, 4, 5);   // as read from the device
        StoreVemorParameters(w().QryEdit(), 7, p);
        StoreVemorContactTypes(w().QryEdit(), 7, {2, 0, 4, 1});
        StoreVemorAccount(w().QryEdit(), 7, 12, 3, EncodeDate(2006, 1, 2) + EncodeTime(3, 4, 5, 0));
        SelectedNumber = 7;
    }

    // Runs the dialog modally as the operator does and acts inside it once it shows.
    void WithDialog(const std::function<void(TfrmSelect&)>& act)
    {
        bool acted = false;
        QTimer::singleShot(0, &w(), [&] {
            acted = true;
            ASSERT_NE(frmSelect, nullptr);
            act(*frmSelect);
            // Whatever the action did, the modal loop must end.
            if (frmSelect->isVisible())
                frmSelect->reject();
        });
        w().btnSelectProtokolClick();
        EXPECT_TRUE(acted);
    }

    std::vector<e2e::RecordedBox> BoxesWith(const QString& text)
    {
        std::vector<e2e::RecordedBox> found;
        for (const auto& b : boxes.Boxes())
            if (b.text == text)
                found.push_back(b);
        return found;
    }

    QString saveAs_;
    QString proposed_;

private:
    std::unique_ptr<TfrmMain> window_;
    TSaveDialog::Hook previousHook_;
};

// ---- Date-range dialog ------------------------------------------------------------------------

TEST_F(LogPageTest, DateRangeIncludesBothEndDaysWhole)
{
    SelectedNumber = 7;
    AddRecord(7, EncodeDate(2007, 5, 9) + EncodeTime(23, 59, 59, 0));   // day before the start
    AddRecord(7, EncodeDate(2007, 5, 10));                              // first second of the start day
    AddRecord(7, EncodeDate(2007, 5, 11) + EncodeTime(12, 0, 0, 0));
    AddRecord(7, EncodeDate(2007, 5, 12) + EncodeTime(23, 59, 59, 0));  // last second of the end day
    AddRecord(7, EncodeDate(2007, 5, 13));                              // day after
    AddRecord(8, EncodeDate(2007, 5, 11));                              // another device
    w().btnProtokolClick();
    ASSERT_EQ(w().QryProtokol().RecordCount(), 5);

    WithDialog([](TfrmSelect& d) {
        EXPECT_TRUE(d.isModal());
        // The operator picks days; whatever times the pickers held do not narrow the range.
        d.SetDateStart(EncodeDate(2007, 5, 10) + EncodeTime(15, 0, 0, 0));
        d.SetDateEnd(EncodeDate(2007, 5, 12) + EncodeTime(1, 0, 0, 0));
        d.Form().btnSelect->click();
        EXPECT_FALSE(d.isVisible());
    });
    TQuery& q = w().QryProtokol();
    EXPECT_EQ(q.RecordCount(), 3);
    // The log shows its newest record.
    EXPECT_EQ(q.RecNo(), 3);
    EXPECT_EQ(q.FieldByName(QStringLiteral("FDate"))->AsDateTime(), EncodeDate(2007, 5, 12));
    EXPECT_EQ(frmSelect->DateStart(), EncodeDate(2007, 5, 10));
    EXPECT_EQ(frmSelect->DateEnd(), EncodeDate(2007, 5, 12) + EncodeTime(23, 59, 59, 0));

    // The dialog lives on and keeps the dates; "Показать все" shows every record of the device.
    TfrmSelect* first = frmSelect;
    WithDialog([&](TfrmSelect& d) {
        EXPECT_EQ(&d, first);
        EXPECT_EQ(DateOf(d.DateStart()), EncodeDate(2007, 5, 10));
        d.Form().btnShowAll->click();
    });
    EXPECT_EQ(q.RecordCount(), 5);
}

TEST_F(LogPageTest, AllRecordsRangeStartsWithTheYear2000)
{
    // A device whose clock reads year 00 logs into 2000.
    SelectedNumber = 7;
    AddRecord(7, EncodeDate(2000, 1, 1));
    AddRecord(7, EncodeDate(2099, 12, 31) + EncodeTime(23, 59, 59, 0));
    AddRecord(7, EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 59, 0));   // no device writes this
    w().btnProtokolClick();
    TQuery& q = w().QryProtokol();
    ASSERT_EQ(q.RecordCount(), 2);
    q.First();
    EXPECT_EQ(q.FieldByName(QStringLiteral("FDate"))->AsDateTime(), EncodeDate(2000, 1, 1));

    WithDialog([](TfrmSelect& d) {
        d.SetDateStart(EncodeDate(2007, 5, 11));
        d.SetDateEnd(EncodeDate(2007, 5, 12));
        d.Form().btnSelect->click();
    });
    ASSERT_EQ(q.RecordCount(), 0);
    WithDialog([](TfrmSelect& d) { d.Form().btnShowAll->click(); });
    ASSERT_EQ(q.RecordCount(), 2);
    q.First();
    EXPECT_EQ(q.FieldByName(QStringLiteral("FDate"))->AsDateTime(), EncodeDate(2000, 1, 1));
}

TEST_F(LogPageTest, StartAfterEndGivesAnEmptyLogAndClosingTheDialogChangesNothing)
{
    SelectedNumber = 7;
    AddRecord(7, EncodeDate(2007, 5, 10));
    AddRecord(7, EncodeDate(2007, 5, 11));
    w().btnProtokolClick();

    WithDialog([](TfrmSelect& d) {
        // A new dialog starts at today.
        EXPECT_EQ(DateOf(d.DateStart()), Date());
        EXPECT_EQ(DateOf(d.DateEnd()), Date());
        d.reject();
    });
    EXPECT_EQ(w().QryProtokol().RecordCount(), 2);

    WithDialog([](TfrmSelect& d) {
        d.SetDateStart(EncodeDate(2007, 5, 11));
        d.SetDateEnd(EncodeDate(2007, 5, 10));
        d.Form().btnSelect->click();
    });
    EXPECT_EQ(w().QryProtokol().RecordCount(), 0);
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(LogPageTest, WithoutADeviceTheLogIsEmpty)
{
    AddRecord(7, EncodeDate(2007, 5, 10));
    SelectedNumber = -1;
    w().btnProtokolClick();
    EXPECT_EQ(w().FrontPage(), w().Form().pnlProtokol);
    EXPECT_EQ(w().QryProtokol().RecordCount(), 0);
}

// ---- Calculated time text, contact titles, account label -----------------------------------

TEST_F(LogPageTest, TimeTextContactTitlesAndAccountComeFromTheDeviceRows)
{
    AddDevice();
    AddRecord(7, EncodeDate(2007, 5, 10) + EncodeTime(8, 0, 1, 0), 20);
    AddRecord(7, EncodeDate(2007, 5, 10) + EncodeTime(12, 5, 7, 0), 460);
    w().btnProtokolClick();
    TQuery& q = w().QryProtokol();
    q.First();
    EXPECT_EQ(q.FieldByName(QStringLiteral("fTimeStr"))->AsString(), QStringLiteral("08:00:01:020"));
    q.Next();
    EXPECT_EQ(q.FieldByName(QStringLiteral("fTimeStr"))->AsString(), QStringLiteral("12:05:07:460"));
    const QStringList titles{"СТОП2", "НЕТ", "ТРЗ", "СТОП1"};
    for (int i = 1; i <= 4; ++i)
        EXPECT_EQ(q.FieldByName(QStringLiteral("FBtn%1").arg(i))->DisplayLabel(), titles[i - 1]);
    EXPECT_EQ(w().Form().lblAccount->text(),
              QStringLiteral("Начало учета :\n02.01.2006 03:04:05\n\nВнешних пусков  :  12\nСамозапусков     :  3"));

    // The kept row does not follow later uses of the shared query.
    SelectVemorSpeed(w().QryEdit(), 7);
    q.Close();
    StoreVemorContactTypes(w().QryEdit(), 7, {3, 1, 2, 4});
    SetLogQueryRange(q, 7, LogRangeAllStart(), LogRangeAllEnd());
    q.Open();
    EXPECT_EQ(q.FieldByName(QStringLiteral("FBtn1"))->DisplayLabel(), QStringLiteral("ГАО"));

    // A device without rows shows no account and no contact types of the device before it.
    SelectedNumber = 9;
    w().btnProtokolClick();
    EXPECT_EQ(q.FieldByName(QStringLiteral("FBtn1"))->DisplayLabel(), QStringLiteral("НЕТ"));
    EXPECT_EQ(w().Form().lblAccount->text(),
              QStringLiteral("Начало учета :\n\n\nВнешних пусков  :  \nСамозапусков     :  "));
}

TEST_F(LogPageTest, GridShowsTheLogWithContactTitlesAndACountFooter)
{
    AddDevice();
    for (int i = 0; i < 3; ++i)
        AddRecord(7, EncodeDate(2007, 5, 10) + EncodeTime(8, i, 0, 0));
    w().show();
    w().btnProtokolClick();
    TDBGridEx& g = w().GrdProtokol();
    ASSERT_EQ(g.Columns().Count(), 13);
    EXPECT_EQ(g.DataSource()->DataSet(), &w().QryProtokol());
    EXPECT_EQ(g.Columns()[0]->Title().Caption(), QStringLiteral("Дата"));
    EXPECT_EQ(g.Columns()[1]->FieldName(), QStringLiteral("fTimeStr"));
    EXPECT_EQ(g.Columns()[2]->Title().Orientation(), tohVertical);
    // The contact columns take the contact type names as titles.
    EXPECT_EQ(g.Columns()[4]->Title().Caption(), QStringLiteral("СТОП2"));
    EXPECT_EQ(g.Columns()[7]->Title().Caption(), QStringLiteral("СТОП1"));
    EXPECT_EQ(g.Columns()[4]->Color(), clSilver);
    EXPECT_EQ(g.GetFooterValueText(0, *g.Columns()[0]), QStringLiteral("кол-во : "));
    EXPECT_EQ(g.GetFooterValueText(0, *g.Columns()[12]), QStringLiteral("3"));
    // A narrower range updates the footer at once.
    WithDialog([](TfrmSelect& d) {
        d.SetDateStart(EncodeDate(2007, 5, 11));
        d.SetDateEnd(EncodeDate(2007, 5, 12));
        d.Form().btnSelect->click();
    });
    EXPECT_EQ(g.GetFooterValueText(0, *g.Columns()[12]), QStringLiteral("0"));
}

TEST_F(LogPageTest, TheRecordCountInTheFooterIsShownWhole)
{
    AddDevice();
    // Five digits are more than the 34-pixel column holds.
    constexpr int kRows = 10000;
    Exec(BigLogSql(7, kRows));
    w().show();
    w().btnProtokolClick();
    TDBGridEx& g = w().GrdProtokol();
    TColumnEx& count = *g.Columns()[12];
    ASSERT_EQ(g.GetFooterValueText(0, count), QString::number(kRows));
    const QFontMetrics metrics(count.Footer().Font().ToQFont());
    EXPECT_GE(count.Width(), metrics.horizontalAdvance(QString::number(kRows)) + 4);
    EXPECT_GT(count.Width(), 34);

    // Back to a few records, the column has its own width again.
    WithDialog([](TfrmSelect& d) {
        d.SetDateStart(EncodeDate(2007, 1, 1));
        d.SetDateEnd(EncodeDate(2007, 1, 1));
        d.Form().btnSelect->click();
    });
    EXPECT_EQ(g.GetFooterValueText(0, count), QStringLiteral("8640"));
    EXPECT_EQ(count.Width(), 34);
}

// ---- Clearing -------------------------------------------------------------------------------------

TEST_F(LogPageTest, ClearingAsksWithNoAsDefaultAndNoChangesNothing)
{
    SelectedNumber = 7;
    AddRecord(7, EncodeDate(2007, 5, 10));
    AddRecord(7, EncodeDate(2007, 5, 11));
    w().btnProtokolClick();
    w().SetState(stIdle);

    boxes.AnswerWith(mbNo);
    w().Button2Click();
    ASSERT_EQ(boxes.Count(), 1u);
    const auto box = *boxes.Last();
    EXPECT_EQ(box.caption, QStringLiteral(" Дравик Ltd"));
    EXPECT_EQ(box.text, QStringLiteral("Вы действительно хотите обнулить протокол и учетную запись ?"));
    EXPECT_EQ(box.icon, MsgIcon::Question);
    EXPECT_EQ(box.buttons, mbYesNo);
    EXPECT_EQ(box.defaultButton, mbNo);
    EXPECT_EQ(w().State(), stIdle);
    EXPECT_EQ(w().QryProtokol().RecordCount(), 2);
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol where fid=7")), 2);

    // Yes: the local rows go at once, before the device is asked; other devices keep theirs.
    AddRecord(8, EncodeDate(2007, 5, 10));
    boxes.AnswerWith(mbYes);
    w().Button2Click();
    EXPECT_EQ(w().QryProtokol().RecordCount(), 0);
    EXPECT_EQ(w().State(), stClearAccount);
    EXPECT_EQ(w().CountBefore(), 0);
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol where fid=7")), 0);
    EXPECT_EQ(Scalar(QStringLiteral("select count(*) from vprotokol where fid=8")), 1);
}

// ---- Report -------------------------------------------------------------------------------------

TEST_F(LogPageTest, ReportFileNameCarriesTheNumberAndTheDay)
{
    EXPECT_EQ(TfrmMain::ReportFileName(QStringLiteral("ВЕМОР_№_"), 12, EncodeDate(2026, 12, 6)),
              QStringLiteral("ВЕМОР_№_12_06_12_2026.docx"));
}

TEST_F(LogPageTest, ReportHoldsTheNumberTheLogTheParametersAndTheAccount)
{
    AddDevice();
    AddRecord(7, EncodeDate(2007, 5, 10) + EncodeTime(8, 0, 1, 0), 20, true, 381);
    AddRecord(7, EncodeDate(2007, 5, 11) + EncodeTime(9, 30, 0, 0), 0, false, 12);
    w().btnProtokolClick();
    saveAs_ = harness().Folder() + QStringLiteral("out/report.docx");
    QDir().mkpath(harness().Folder() + QStringLiteral("out"));
    w().btnSaveProtokolClick();

    EXPECT_EQ(proposed_, QDir(QDir::homePath()).filePath(TfrmMain::ReportFileName(QStringLiteral("ВЕМОР_№_"), 7, Date())));
    ASSERT_EQ(BoxesWith(kSaved).size(), 1u) << (boxes.Last() ? boxes.Last()->text.toStdString() : std::string());
    EXPECT_EQ(BoxesWith(kSaved)[0].icon, MsgIcon::Information);
    EXPECT_EQ(w().StatusText(), QString());
    EXPECT_FALSE(w().Wd().Active());
    EXPECT_TRUE(QFile::exists(Docs() + QStringLiteral("temp.docx")));

    // The saved package's document part holds the texts at the bookmarks.
    const QByteArray xml = ReadZipEntry(saveAs_, QStringLiteral("word/document.xml"));
    EXPECT_TRUE(xml.contains("<w:bookmarkStart w:id=\"1\" w:name=\"num\"/><w:r>"));
    EXPECT_TRUE(xml.contains(">  7  </w:t>"));
    EXPECT_TRUE(xml.contains(">08:00:01:020</w:t>"));
    // The set flag is a check mark in a font that has it; the numbers keep the document's text font.
    EXPECT_EQ(FontsOfRuns(xml, kSet), QStringList{kMarkFont});
    EXPECT_EQ(FontsOfRuns(xml, QStringLiteral("381")), QStringList{QString()});
    EXPECT_TRUE(ReadZipEntry(saveAs_, QStringLiteral("word/styles.xml")).contains("w:rFonts w:ascii=\"Liberation Sans\""));

    TWordDocument doc;
    doc.Open(saveAs_);
    EXPECT_EQ(doc.ParagraphAtBookmark(QStringLiteral("num")), QStringLiteral("ВЕМОР  зав. №  7  "));
    const auto log = doc.TableAtBookmark(QStringLiteral("tab1"));
    ASSERT_EQ(log.size(), 3u);  // titles and two records, no empty row
    EXPECT_EQ(log[0].mid(4, 4), (QStringList{"СТОП2", "НЕТ", "ТРЗ", "СТОП1"}));
    EXPECT_EQ(log[1], (QStringList{"10.05.2007", "08:00:01:020", kSet, "", "", "", "", "", "", "", "", "", "381"}));
    EXPECT_EQ(log[2][0], QStringLiteral("11.05.2007"));
    EXPECT_EQ(log[2][12], QStringLiteral("12"));

    const auto params = doc.TableAtBookmark(QStringLiteral("tab2"));
    ASSERT_EQ(params.size(), 46u);
    EXPECT_EQ(params[0], (QStringList{"Запись в протокол при включенном двигателе :", ""}));
    EXPECT_EQ(params[1], (QStringList{"    -  Контакт 1", "ДА"}));
    EXPECT_EQ(params[2], (QStringList{"    -  Контакт 2", "НЕТ"}));
    EXPECT_EQ(params[21], (QStringList{"    -  Двигатель", "ДА"}));
    EXPECT_EQ(params[27], (QStringList{"    -  Контакт 1", "СТОП2"}));
    EXPECT_EQ(params[35], (QStringList{"    -  Контакт 4", "40"}));
    EXPECT_EQ(params[40], (QStringList{"Уровень фильтрации контактов отключения, % :", "55"}));
    EXPECT_EQ(params[45], (QStringList{"Калибровочный коэффициент :", FormatFloat(QStringLiteral("0.000"), 1.25)}));

    const auto account = doc.TableAtBookmark(QStringLiteral("tab3"));
    ASSERT_EQ(account.size(), 3u);
    EXPECT_EQ(account[0], (QStringList{"Начало учета :", "02.01.2006 03:04:05"}));
    EXPECT_EQ(account[1], (QStringList{"Количество внешних пусков :", "12"}));
    EXPECT_EQ(account[2], (QStringList{"Количество самозапусков :", "3"}));

    // The templates are never changed.
    TWordDocument blank;
    blank.Open(Docs() + QStringLiteral("protokol.docx"));
    EXPECT_EQ(blank.TableAtBookmark(QStringLiteral("tab1")).size(), 2u);
}

TEST_F(LogPageTest, ReportOfOneRecordLeavesNoEmptyRowAndCancellingKeepsOnlyTheWorkingCopy)
{
    AddDevice();
    AddRecord(7, EncodeDate(2007, 5, 10) + EncodeTime(8, 0, 1, 0), 20);
    w().btnProtokolClick();
    saveAs_.clear();  // the operator cancels
    w().btnSaveProtokolClick();
    EXPECT_TRUE(BoxesWith(kSaved).empty());
    EXPECT_EQ(w().StatusText(), QString());
    EXPECT_FALSE(w().Wd().Active());
    TWordDocument temp;
    temp.Open(Docs() + QStringLiteral("temp.docx"));
    // The working copy is saved right after opening, before anything is typed.
    EXPECT_EQ(temp.ParagraphAtBookmark(QStringLiteral("num")), QStringLiteral("ВЕМОР  зав. №"));
    // The log query ends on its last record.
    EXPECT_EQ(w().QryProtokol().RecNo(), 1);

    saveAs_ = harness().Folder() + QStringLiteral("one");  // the extension is added
    w().btnSaveProtokolClick();
    ASSERT_TRUE(QFile::exists(saveAs_ + QStringLiteral(".docx")));
    TWordDocument doc;
    doc.Open(saveAs_ + QStringLiteral(".docx"));
    EXPECT_EQ(doc.TableAtBookmark(QStringLiteral("tab1")).size(), 2u);
}

TEST_F(LogPageTest, SavingOverAFileAsksFirstAndNeverReplacesATemplate)
{
    AddDevice();
    AddRecord(7, EncodeDate(2007, 5, 10) + EncodeTime(8, 0, 1, 0), 20);
    w().btnProtokolClick();
    const QString existing = harness().Folder() + QStringLiteral("report.docx");
    {
        QFile f(existing);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("kept");
    }
    const QByteArray templateBytes = [&] {
        QFile f(Docs() + QStringLiteral("protokol.docx"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    ASSERT_FALSE(templateBytes.isEmpty());
    const auto fileBytes = [](const QString& path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };

    // The operator's choices, one per showing of the dialog; then Cancel.
    QStringList choices;
    int shown = 0;
    const auto previous = TSaveDialog::SetHook([&](TSaveDialog& d) {
        ++shown;
        if (choices.isEmpty())
            return false;
        d.FileName = choices.takeFirst();
        return true;
    });

    // An existing file: the question, No by default; No offers the dialog again.
    choices = {existing};
    w().btnSaveProtokolClick();
    const QString question = QStringLiteral("Файл %1 уже существует. Заменить?").arg(QDir::toNativeSeparators(existing));
    auto asked = BoxesWith(question);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0].buttons, mbYesNo);
    EXPECT_EQ(asked[0].defaultButton, mbNo);
    EXPECT_EQ(asked[0].icon, MsgIcon::Question);
    EXPECT_EQ(shown, 2);
    EXPECT_EQ(fileBytes(existing), QByteArray("kept"));
    EXPECT_TRUE(BoxesWith(kSaved).empty());

    // Yes replaces it.
    boxes.QueueAnswer(mbYes);
    choices = {existing};
    shown = 0;
    w().btnSaveProtokolClick();
    EXPECT_EQ(BoxesWith(question).size(), 2u);
    EXPECT_EQ(BoxesWith(kSaved).size(), 1u);
    EXPECT_EQ(shown, 1);
    TWordDocument doc;
    doc.Open(existing);
    EXPECT_EQ(doc.TableAtBookmark(QStringLiteral("tab1")).size(), 2u);

    // A template is refused even when the operator would say Yes, under any spelling of its path.
    boxes.AnswerWith(mbYes);
    choices = {Docs() + QStringLiteral("protokol.docx"), Docs() + QStringLiteral("../docs/cprotokol.docx"),
               Docs() + QStringLiteral("temp.docx")};
    shown = 0;
    w().btnSaveProtokolClick();
    EXPECT_EQ(shown, 4);
    EXPECT_EQ(BoxesWith(kSaved).size(), 1u);
    int refused = 0;
    for (const auto& b : boxes.Boxes())
        refused += b.text.contains(QStringLiteral("является шаблоном"));
    EXPECT_EQ(refused, 3);
    EXPECT_EQ(fileBytes(Docs() + QStringLiteral("protokol.docx")), templateBytes);
    TSaveDialog::SetHook(previous);
}

TEST_F(LogPageTest, TheReportsMemoryDoesNotGrowWithItsRows)
{
    AddDevice();
    // The heap the report holds when it asks where to save, with all its rows typed.
    const auto reportHeap = [&](int rows) {
        Exec(QStringLiteral("delete from vprotokol"));
        Exec(BigLogSql(7, rows));
        w().btnProtokolClick();
        EXPECT_EQ(w().QryProtokol().RecordCount(), rows);
        std::size_t atSave = 0;
        const auto previous = TSaveDialog::SetHook([&](TSaveDialog&) {
            atSave = HeapInUse();
            return false;
        });
        const std::size_t before = HeapInUse();
        w().btnSaveProtokolClick();
        TSaveDialog::SetHook(previous);
        return double(atSave) - double(before);
    };
    const double few = reportHeap(300);
    const double many = reportHeap(3300);
    EXPECT_LT((many - few) / 3000, 100.0) << few << " bytes for 300 rows, " << many << " for 3300";
    EXPECT_EQ(boxes.Count(), 0u);
}

TEST_F(LogPageTest, TheFirstReportHoldsTheTimeTextsOfNoMoreThanAFewRows)
{
    AddDevice();
    constexpr int kKept = int(TDataSet::CalculatedRecordsKept);
    // What the log query's rows hold more than when the page opened: when the report asks where
    // to save (every row typed) and when it is done.
    const auto grown = [&](int rows) {
        Exec(QStringLiteral("delete from vprotokol"));
        Exec(BigLogSql(7, rows));
        w().btnProtokolClick();
        EXPECT_EQ(w().QryProtokol().RecordCount(), rows);
        const std::size_t opened = w().QryProtokol().RecordBytes();
        std::size_t atSave = 0;
        const auto previous = TSaveDialog::SetHook([&](TSaveDialog& d) {
            atSave = w().QryProtokol().RecordBytes();
            d.FileName = harness().Folder() + QStringLiteral("report%1.docx").arg(rows);
            return true;
        });
        w().Form().btnSaveProtokol->click();
        TSaveDialog::SetHook(previous);
        return std::pair(atSave - opened, w().QryProtokol().RecordBytes() - opened);
    };
    const auto few = grown(2 * kKept);
    const auto many = grown(8 * kKept);
    EXPECT_EQ(BoxesWith(kSaved).size(), 2u);
    // A time text costs a few dozen bytes; the rows' count does not matter.
    EXPECT_LE(many.first, std::size_t(kKept) * 64);
    EXPECT_EQ(many.first, few.first);
    EXPECT_EQ(many.second, few.second);
    TWordDocument doc;
    doc.Open(harness().Folder() + QStringLiteral("report%1.docx").arg(8 * kKept));
    EXPECT_EQ(doc.TableAtBookmark(QStringLiteral("tab1")).size(), std::size_t(1 + 8 * kKept));
}

TEST_F(LogPageTest, ReportNeedsRecordsAndATemplate)
{
    SelectedNumber = 7;
    w().btnProtokolClick();
    saveAs_ = harness().Folder() + QStringLiteral("never.docx");
    w().btnSaveProtokolClick();
    ASSERT_EQ(BoxesWith(kNoRecords).size(), 1u);
    EXPECT_EQ(BoxesWith(kNoRecords)[0].icon, MsgIcon::Error);
    EXPECT_EQ(BoxesWith(kNoRecords)[0].caption, QStringLiteral(" Дравик Ltd"));
    EXPECT_EQ(w().StatusText(), QString());

    AddRecord(7, EncodeDate(2007, 5, 10));
    w().btnProtokolClick();
    ASSERT_TRUE(QFile::remove(Docs() + QStringLiteral("protokol.docx")));
    w().btnSaveProtokolClick();
    ASSERT_EQ(BoxesWith(kNoTemplate).size(), 1u);
    EXPECT_EQ(BoxesWith(kNoTemplate)[0].icon, MsgIcon::Error);
    EXPECT_EQ(w().StatusText(), QStringLiteral(" Проверка шаблона ..."));
    EXPECT_FALSE(QFile::exists(Docs() + QStringLiteral("temp.docx")));
    EXPECT_FALSE(QFile::exists(saveAs_));
    EXPECT_TRUE(BoxesWith(kSaved).empty());
}

TEST_F(LogPageTest, AFailingStepIsReportedAndTheRestIsSkipped)
{
    AddDevice();
    AddRecord(7, EncodeDate(2007, 5, 10));
    w().btnProtokolClick();
    // A template without the account table's bookmark.
    TWordDocument broken;
    broken.Open(Docs() + QStringLiteral("protokol.docx"));
    const QString path = Docs() + QStringLiteral("protokol.docx");
    QByteArray xml = ReadZipEntry(path, QStringLiteral("word/document.xml"));
    xml.replace("w:name=\"tab3\"", "w:name=\"other\"");
    std::vector<std::pair<QString, QByteArray>> parts;
    for (const QString& name : ZipEntries(path))
        parts.emplace_back(name, name == QStringLiteral("word/document.xml") ? xml : ReadZipEntry(path, name));
    WriteZipPackage(path, parts);

    saveAs_ = harness().Folder() + QStringLiteral("report.docx");
    w().Form().btnSaveProtokol->click();  // as the operator: the failure goes to the handler
    ASSERT_GE(boxes.Count(), 1u);
    EXPECT_TRUE(boxes.Last()->text.contains(QStringLiteral("tab3"))) << boxes.Last()->text.toStdString();
    EXPECT_EQ(boxes.Last()->icon, MsgIcon::Error);
    EXPECT_TRUE(BoxesWith(kSaved).empty());
    EXPECT_FALSE(QFile::exists(saveAs_));
    EXPECT_EQ(w().StatusText(), QStringLiteral(" Сохранение протокола ..."));
    // The half-built document is dropped, and its scratch files with it.
    EXPECT_FALSE(w().Wd().Active());
    EXPECT_TRUE(QDir(Docs()).entryList({QStringLiteral(".rows-*"), QStringLiteral(".main-*")}, QDir::Files | QDir::Hidden).isEmpty());

    // The next report goes on as usual.
    broken.SaveAs(path);
    w().btnSaveProtokolClick();
    EXPECT_EQ(BoxesWith(kSaved).size(), 1u);
}

TEST_F(LogPageTest, SecondDeviceKindReportFillsItsOwnTables)
{
    auto& f = w().Form();
    f.cmbDevice->addItem(QStringLiteral("СУЛМ"));
    f.cmbDevice->setCurrentIndex(1);
    w().cmbDeviceChange();
    SelectedNumber = 7;
    StoreSulmParameters(w().QryEdit(), 7, 120, DeviceClockText(1, 2, 7, 3, 4, 5), QStringLiteral("1000000000000001"));
    StoreSulmAccount(w().QryEdit(), 7, DeviceClockText(2, 1, 6, 0, 0, 0));
    for (int pin = 1; pin <= 16; ++pin)
        Exec(QStringLiteral("insert or replace into sulm_n (fid, fpin, fname) values (7, %1, 'К%1')").arg(pin));
    ASSERT_TRUE(AddSulmLogRecord(w().QryEdit(), 7, EncodeDate(2007, 5, 10), EncodeTime(8, 0, 1, 0), 1, 0x0001));
    ASSERT_TRUE(AddSulmLogRecord(w().QryEdit(), 7, EncodeDate(2007, 5, 11), EncodeTime(9, 0, 0, 0), 2, 0x8001));
    w().btnProtokolClick();
    ASSERT_EQ(w().QryCProtokol().RecordCount(), 2);
    EXPECT_EQ(f.lblCAccount->text(), QStringLiteral("Начало учета :\n") + DeviceClockText(2, 1, 6, 0, 0, 0));

    // The footers' summary: the record count first, then the channel sums in column order.
    const TDBSumCollection& sums = w().GrdCProtokol().SumList().SumCollection();
    ASSERT_EQ(sums.Count(), 17);
    EXPECT_EQ(sums.GetItem(0)->SumValue(), Currency::FromInt(2));
    EXPECT_EQ(sums.GetItem(1)->SumValue(), Currency::FromInt(2));
    EXPECT_EQ(sums.GetItem(16)->SumValue(), Currency::FromInt(1));
    EXPECT_EQ(w().ChannelSum(1), Currency::FromInt(2));

    saveAs_ = harness().Folder() + QStringLiteral("sulm.docx");
    w().btnSaveProtokolClick();
    ASSERT_EQ(BoxesWith(kSaved).size(), 1u);
    EXPECT_TRUE(proposed_.endsWith(TfrmMain::ReportFileName(QStringLiteral("СУЛМ_№_"), 7, Date())));
    // The parameter page's inversion boxes follow the stored mask.
    EXPECT_TRUE(f.chkSulmInvert1->isChecked());
    EXPECT_FALSE(f.chkSulmInvert2->isChecked());

    TWordDocument doc;
    doc.Open(saveAs_);
    const QString on = QString(QChar(0x25A0)), off = QString(QChar(0x25A1));
    // Channel and inversion marks are filled and empty squares in the marks' font.
    const QByteArray xml = ReadZipEntry(saveAs_, QStringLiteral("word/document.xml"));
    EXPECT_EQ(FontsOfRuns(xml, on), QStringList(3 + 2, kMarkFont));
    EXPECT_EQ(FontsOfRuns(xml, off), QStringList(2 * 16 - 3 + 16 - 2, kMarkFont));
    const auto log = doc.TableAtBookmark(QStringLiteral("tab1"));
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].mid(0, 4), (QStringList{"10.05.2007", "08:00:01", on, off}));
    EXPECT_EQ(log[2][2], on);
    EXPECT_EQ(log[2][17], on);
    const auto params = doc.TableAtBookmark(QStringLiteral("tab2"));
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[1].mid(0, 3), (QStringList{"120", on, off}));
    EXPECT_EQ(params[1][16], on);
    const auto account = doc.TableAtBookmark(QStringLiteral("tab3"));
    ASSERT_EQ(account.size(), 2u);
    EXPECT_EQ(account[1][0], DeviceClockText(2, 1, 6, 0, 0, 0));
    EXPECT_EQ(account[1][1], QStringLiteral("2"));   // channel 1 in both records
    EXPECT_EQ(account[1][2], QStringLiteral("-"));   // never
    EXPECT_EQ(account[1][16], QStringLiteral("1"));
    const auto names = doc.TableAtBookmark(QStringLiteral("tab0"));
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[1][0], QStringLiteral("К1"));
    EXPECT_EQ(names[1][15], QStringLiteral("К16"));
}

// ---- Download into the tables ----------------------------------------------------------------

class LogDownloadTest : public e2e::EndToEndTest {};

int CountCommit(void* counter)
{
    ++*static_cast<int*>(counter);
    return 0;   // let it commit
}

TEST_F(LogDownloadTest, EachLogBlockIsWrittenInOneTransaction)
{
    sim::DeviceState dev = sim::DeviceState::Factory(300, 2);
    dev.accountBegin = QDateTime(QDate(2006, 1, 1), QTime(0, 0));
    dev.log = sim::GenerateLog(46, QDateTime(QDate(2007, 6, 1), QTime(12, 0)));   // two full blocks
    bus().AddDevice(dev);
    TfrmMain w;
    w.Form().edtNum->setText(QStringLiteral("300"));
    w.Button1Click();
    ASSERT_EQ(SelectedNumber, 300);
    w.btnProtokolClick();

    int commits = 0;
    auto db = TDatabase::Open(harness().DatabasePath());
    sqlite3_commit_hook(db->Handle(), &CountCommit, &commits);
    w.btnReadProtokolClick();
    const bool done = WaitFor([&] { return boxes.Count() >= 1; });
    sqlite3_commit_hook(db->Handle(), nullptr, nullptr);
    ASSERT_TRUE(done);
    EXPECT_EQ(boxes.Last()->text, QStringLiteral("Протокол считан. Добавлено записей :  46 !"));
    // The account, then one commit per block (not one per record).
    EXPECT_GE(commits, 2);
    EXPECT_LE(commits, 4);
}

}  // namespace
