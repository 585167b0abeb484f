// The splash window shown while the program starts.
#pragma once

#include <QWidget>

namespace Ui {
class TfrmSplash;
}

class TfrmSplash : public QWidget {
    Q_OBJECT
public:
    explicit TfrmSplash(QWidget* parent = nullptr);
    ~TfrmSplash() override;

private:
    Ui::TfrmSplash* ui;
};
