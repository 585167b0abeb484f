// The main window's tests over the simulated bus, with the program's database in the test's own
// folder: what the tables hold is read back, or prepared, through the program's own connection.
#pragma once

#include "app/fmain.h"
#include "app/tables.h"
#include "platform/query.h"
#include "tests/support/e2e_fixture.h"

#include <memory>

namespace e2e {

class AppTest : public EndToEndTest {
protected:
    void TearDown() override
    {
        window_.reset();
        EndToEndTest::TearDown();
    }

    // The program's window, shown as the operator has it.
    TfrmMain& Window()
    {
        if (!window_) {
            window_ = std::make_unique<TfrmMain>();
            window_->show();
        }
        return *window_;
    }
    void CloseWindow() { window_.reset(); }

    // One integer of the database.
    int Scalar(const QString& sql)
    {
        TQuery q;
        Attach(q, sql);
        q.Open();
        return q.Field(0)->AsInteger();
    }

    // One value of the database, as text (empty when there is no row).
    QString Stored(const QString& sql)
    {
        TQuery q;
        Attach(q, sql);
        q.Open();
        return q.Eof() ? QString() : q.Field(0)->AsString();
    }

    void Exec(const QString& sql)
    {
        TQuery q;
        Attach(q, sql);
        q.ExecSQL();
    }

private:
    std::unique_ptr<TfrmMain> window_;

    void Attach(TQuery& q, const QString& sql)
    {
        AttachQuery(q, harness().Folder() + QStringLiteral("bases/"));
        q.SetSQL(sql);
    }
};

}  // namespace e2e
