#include "app/fselect.h"

#include "app/fmain.h"
#include "app/tables.h"
#include "app/widgets.h"
#include "platform/application.h"
#include "platform/query.h"
#include "platform/text.h"
#include "ui_fselect.h"

#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>

TfrmSelect* frmSelect = nullptr;

TfrmSelect::TfrmSelect(QWidget* owner)
    : QDialog(owner, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint),
      ui(new Ui::TfrmSelect)
{
    InstallFontSubstitutes();
    ui->setupUi(this);
    setFixedSize(size());
    // The pickers show dates as the program's format settings write them.
    const QString pattern = QtDatePattern(FormatSettings().ShortDateFormat, FormatSettings().DateSeparator);
    ui->edtDateStart->setDisplayFormat(pattern);
    ui->edtDateEnd->setDisplayFormat(pattern);
    // A dialog window does not inherit its owner's face by itself.
    if (owner)
        setPalette(owner->palette());
    connect(ui->btnShowAll, &QPushButton::clicked, this, MakeGuarded([this] { btnShowAllClick(); }));
    connect(ui->btnSelect, &QPushButton::clicked, this, MakeGuarded([this] { btnSelectClick(); }));
    FormCreate();
}

TfrmSelect::~TfrmSelect()
{
    if (frmSelect == this)
        frmSelect = nullptr;
    delete ui;
}

void TfrmSelect::FormCreate()
{
    SetDateStart(Date());
    SetDateEnd(Date());
}

void TfrmSelect::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Centred on the screen rather than on the owner.
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

TDateTime TfrmSelect::DateStart() const
{
    return QDateTimeToDateTime(ui->edtDateStart->dateTime());
}

TDateTime TfrmSelect::DateEnd() const
{
    return QDateTimeToDateTime(ui->edtDateEnd->dateTime());
}

void TfrmSelect::SetDateStart(TDateTime value)
{
    ui->edtDateStart->setDateTime(DateTimeToQDateTime(value));
}

void TfrmSelect::SetDateEnd(TDateTime value)
{
    ui->edtDateEnd->setDateTime(DateTimeToQDateTime(value));
}

void TfrmSelect::btnShowAllClick()
{
    TQuery& qry = frmMain->LogQuery();
    qry.Close();
    SetLogQueryRange(qry, SelectedNumber, LogRangeAllStart(), LogRangeAllEnd());
    qry.Open();
    accept();
}

void TfrmSelect::btnSelectClick()
{
    TQuery& qry = frmMain->LogQuery();
    qry.Close();
    // Both end days count whole: the start from its first second, the end to its last.
    SetDateStart(DateOf(DateStart()));
    SetDateEnd(DateOf(DateEnd()) + EncodeTime(23, 59, 59, 0));
    SetLogQueryRange(qry, SelectedNumber, DateStart(), DateEnd());
    qry.Open();
    accept();
}
