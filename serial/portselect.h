// The dialog that asks for a COM port when a port component opens without a number.
#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
class QPushButton;
class QFrame;

class TComSelectForm : public QDialog {
    Q_OBJECT
public:
    explicit TComSelectForm(QWidget* parent = nullptr);

    // The number of the chosen item ("COM12" -> 12); 0 when nothing is chosen.
    int SelectedComNumber() const;

    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    QFrame* Bevel1 = nullptr;
    QPushButton* OkBtn = nullptr;
    QPushButton* AbortBtn = nullptr;
    QComboBox* PortsComboBox = nullptr;

private:
    void FormCreate();
};
