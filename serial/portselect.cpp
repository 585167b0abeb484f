#include "serial/portselect.h"

#include "platform/types.h"
#include "serial/dispatcher.h"

#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QPushButton>

TComSelectForm::TComSelectForm(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("ComSelectForm"));
    setWindowTitle(QStringLiteral("Select Port"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(220, 131);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, ToQColor(clBtnFace));
    setPalette(pal);
    setAutoFillBackground(true);
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    setFont(f);

    Bevel1 = new QFrame(this);
    Bevel1->setObjectName(QStringLiteral("Bevel1"));
    Bevel1->setFrameShape(QFrame::Box);
    Bevel1->setFrameShadow(QFrame::Sunken);
    Bevel1->setGeometry(8, 8, 201, 42);
    Label1 = new QLabel(QStringLiteral("The configured serial port is not valid."), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(18, 14);
    Label1->adjustSize();
    Label2 = new QLabel(QStringLiteral("Please choose another port."), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->move(18, 30);
    Label2->adjustSize();
    OkBtn = new QPushButton(QStringLiteral("OK"), this);
    OkBtn->setObjectName(QStringLiteral("OkBtn"));
    OkBtn->setGeometry(8, 95, 85, 27);
    OkBtn->setDefault(true);
    AbortBtn = new QPushButton(QStringLiteral("Cancel"), this);
    AbortBtn->setObjectName(QStringLiteral("AbortBtn"));
    AbortBtn->setGeometry(124, 95, 85, 27);
    PortsComboBox = new QComboBox(this);
    PortsComboBox->setObjectName(QStringLiteral("PortsComboBox"));
    PortsComboBox->setGeometry(8, 64, 201, 21);
    setTabOrder(OkBtn, AbortBtn);
    setTabOrder(AbortBtn, PortsComboBox);
    connect(OkBtn, &QPushButton::clicked, this, &QDialog::accept);
    connect(AbortBtn, &QPushButton::clicked, this, &QDialog::reject);
    FormCreate();
}

void TComSelectForm::FormCreate()
{
    for (int n = 1; n <= 50; ++n) {
        if (ProbePortPresent(n))
            PortsComboBox->addItem(QStringLiteral("COM%1").arg(n));
    }
    PortsComboBox->setCurrentIndex(0);
    // Nothing to choose: OK could not give a number.
    OkBtn->setEnabled(PortsComboBox->count() > 0);
}

int TComSelectForm::SelectedComNumber() const
{
    // Every digit after "COM" counts (COM12 is 12).
    return PortsComboBox->currentText().mid(3).toInt();
}
