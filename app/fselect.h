// The date-range dialog of the log page: shows the selected device's log between two days, or
// all of it. Created on first use with the main window as owner and kept for the rest of the
// run, so the pickers keep the dates chosen last.
#pragma once

#include "platform/datetime.h"

#include <QDialog>

namespace Ui {
class TfrmSelect;
}

class TfrmSelect : public QDialog {
    Q_OBJECT
public:
    explicit TfrmSelect(QWidget* owner);
    ~TfrmSelect() override;

    Ui::TfrmSelect& Form() { return *ui; }

    void FormCreate();
    void btnShowAllClick();
    void btnSelectClick();

    // The pickers' date-time values.
    TDateTime DateStart() const;
    TDateTime DateEnd() const;
    void SetDateStart(TDateTime value);
    void SetDateEnd(TDateTime value);

protected:
    void showEvent(QShowEvent* event) override;

private:
    Ui::TfrmSelect* ui;
};

extern TfrmSelect* frmSelect;
