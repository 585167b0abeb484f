// Property-storage interceptors: the registry, the form interceptor, the grid's column ones.
#include "grid/propstorage.h"

#include "grid/dbgridex.h"

#include "platform/datasource.h"
#include "platform/memdataset.h"

#include <QDialog>
#include <QLineEdit>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <map>

namespace {

class TOtherFormInterceptor : public TStoragePropertyInterceptor {
public:
    explicit TOtherFormInterceptor(QWidget& form) : TStoragePropertyInterceptor(TStorageTarget(&form)) {}
    bool CanStore() const override { return false; }
};

class TDialogInterceptor : public TStoragePropertyInterceptor {
public:
    explicit TDialogInterceptor(QDialog& dialog) : TStoragePropertyInterceptor(TStorageTarget(&dialog)) {}
};

class TSomeForm : public QWidget {};
class TSomeDialog : public QDialog {};

// Puts the start-up registrations back, whatever a test did to the registry.
struct RegistryGuard {
    ~RegistryGuard()
    {
        UnregisterStoragePropertyInterceptor<QDialog, TDialogInterceptor>();
        InitPropFilerEx();
    }
};

// A screen at another density for the length of a test.
struct ScreenDensity {
    explicit ScreenDensity(int ppi) { SetScreenPixelsPerInchHook([ppi] { return ppi; }); }
    ~ScreenDensity() { SetScreenPixelsPerInchHook(nullptr); }
};

using TStore = std::map<QString, Variant>;

// What a store keeps of an object: every published property.
TStore Save(TStoragePropertyInterceptor& interceptor)
{
    TStore store;
    for (const QString& name : interceptor.PropertyNames())
        store[name] = interceptor.GetPropertyValue(name);
    return store;
}

void Load(TStoragePropertyInterceptor& interceptor, const TStore& store)
{
    for (const auto& [name, value] : store)
        interceptor.SetPropertyValue(name, value);
    interceptor.ApplyStored();
}

}  // namespace

TEST(StorageRegistry, ASecondRegistrationReplacesTheFirst)
{
    RegistryGuard guard;
    InitPropFilerEx();
    const TStorageClass* found = GetStoragePropertyInterceptorClass(TStorageClass::Of<QWidget>());
    ASSERT_NE(found, nullptr);
    EXPECT_TRUE(*found == TStorageClass::Of<TFormStoragePropertyInterceptor>());

    RegisterStoragePropertyInterceptor<QWidget, TOtherFormInterceptor>();
    found = GetStoragePropertyInterceptorClass(TStorageClass::Of<QWidget>());
    ASSERT_NE(found, nullptr);
    EXPECT_TRUE(*found == TStorageClass::Of<TOtherFormInterceptor>());
    QWidget form;
    auto interceptor = CreateStoragePropertyInterceptor(form);
    ASSERT_NE(interceptor, nullptr);
    EXPECT_FALSE(interceptor->CanStore());

    // Unregistering needs both classes to match.
    UnregisterStoragePropertyInterceptor<QWidget, TFormStoragePropertyInterceptor>();
    EXPECT_NE(GetStoragePropertyInterceptorClass(TStorageClass::Of<QWidget>()), nullptr);
    UnregisterStoragePropertyInterceptor<QWidget, TOtherFormInterceptor>();
    EXPECT_EQ(GetStoragePropertyInterceptorClass(TStorageClass::Of<QWidget>()), nullptr);
    EXPECT_EQ(CreateStoragePropertyInterceptor(form), nullptr);
}

TEST(StorageRegistry, DerivedClassesFindTheNearestRegisteredBase)
{
    RegistryGuard guard;
    InitPropFilerEx();
    RegisterStoragePropertyInterceptor<QDialog, TDialogInterceptor>();
    EXPECT_TRUE(*GetStoragePropertyInterceptorClass(TStorageClass::Of<TSomeForm>()) ==
                TStorageClass::Of<TFormStoragePropertyInterceptor>());
    EXPECT_TRUE(*GetStoragePropertyInterceptorClass(TStorageClass::Of<TSomeDialog>()) ==
                TStorageClass::Of<TDialogInterceptor>());
    // Registered later or earlier, the nearer base wins.
    UnregisterStoragePropertyInterceptor<QWidget, TFormStoragePropertyInterceptor>();
    InitPropFilerEx();
    EXPECT_TRUE(*GetStoragePropertyInterceptorClass(TStorageClass::Of<TSomeDialog>()) ==
                TStorageClass::Of<TDialogInterceptor>());
    EXPECT_EQ(GetStoragePropertyInterceptorClass(TStorageClass::Of<TMemDataSet>()), nullptr);

    TSomeDialog dialog;
    auto interceptor = CreateStoragePropertyInterceptor(dialog);
    ASSERT_NE(interceptor, nullptr);
    EXPECT_EQ(interceptor->Target().As<QDialog>(), &dialog);
    EXPECT_EQ(interceptor->Target().As<QWidget>(), static_cast<QWidget*>(&dialog));
    EXPECT_EQ(interceptor->Target().As<QLineEdit>(), nullptr);
}

TEST(FormInterceptor, StoredAt96RestoredAt120KeepsThePhysicalSize)
{
    QWidget stored;
    stored.setGeometry(40, 80, 400, 300);
    auto* focused = new QLineEdit(&stored);
    focused->setObjectName("name");
    new QLineEdit(&stored);
    focused->setFocus();
    TFormStoragePropertyInterceptor before(stored);
    before.SetPixelsPerInch(96);
    const TStore store = Save(before);
    EXPECT_EQ(store.at("Width").AsInteger(), 400);
    EXPECT_EQ(store.at("Left").AsInteger(), 40);
    EXPECT_EQ(store.at("ActiveControl").AsString(), "name");
    EXPECT_EQ(store.at("WindowState").AsInteger(), int(wsNormal));

    ScreenDensity screen(120);
    QWidget restored;
    auto* control = new QLineEdit(&restored);
    control->setObjectName("name");
    new QLineEdit(&restored);
    SetFormPosition(restored, poScreenCenter);
    TFormStoragePropertyInterceptor after(restored);
    Load(after, store);
    EXPECT_EQ(restored.geometry(), QRect(50, 100, 500, 375));
    EXPECT_EQ(restored.focusWidget(), control);
    // The restored place is kept instead of centring the form again.
    EXPECT_EQ(FormPosition(restored), poDesigned);

    // Only a stored position gives up the centring.
    QWidget sizeOnly;
    SetFormPosition(sizeOnly, poScreenCenter);
    TFormStoragePropertyInterceptor sized(sizeOnly);
    Load(sized, {{"Width", Variant(400)}, {"Height", Variant(200)}, {"PixelsPerInch", Variant(96)}});
    EXPECT_EQ(sizeOnly.size(), QSize(500, 250));
    EXPECT_EQ(FormPosition(sizeOnly), poScreenCenter);
}

TEST(FormInterceptor, MaximizedFormGetsTheStoredRectangleAsItsNormalBounds)
{
    QWidget form;
    form.setGeometry(0, 0, 200, 100);
    TFormStoragePropertyInterceptor interceptor(form);
    Load(interceptor, {{"Left", Variant(30)},
                       {"Top", Variant(40)},
                       {"Width", Variant(320)},
                       {"Height", Variant(240)},
                       {"PixelsPerInch", Variant(form.logicalDpiY())},
                       {"WindowState", Variant(int(wsMaximized))}});
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_TRUE(form.windowState() & Qt::WindowMaximized);
    EXPECT_EQ(form.normalGeometry(), QRect(30, 40, 320, 240));

    // Storing it again gives the normal bounds, not the maximized ones.
    TFormStoragePropertyInterceptor again(form);
    EXPECT_EQ(again.GetPropertyValue("WindowState").AsInteger(), int(wsMaximized));
    EXPECT_EQ(again.Left(), 30);
    EXPECT_EQ(again.Width(), 320);
    EXPECT_EQ(again.Height(), 240);
}

TEST(FormInterceptor, AControlIsNoFormAndUnknownNamesAreRefused)
{
    QWidget form;
    auto* child = new QLineEdit(&form);
    child->setGeometry(5, 5, 50, 20);
    TFormStoragePropertyInterceptor interceptor(*child);
    EXPECT_EQ(interceptor.Left(), 0);
    EXPECT_EQ(interceptor.Width(), 0);
    interceptor.SetWidth(500);
    interceptor.ApplyStored();
    EXPECT_EQ(child->width(), 50);
    EXPECT_THROW(interceptor.GetPropertyValue("Colour"), Exception);
    EXPECT_THROW(interceptor.SetPropertyValue("Colour", Variant(1)), Exception);
}

namespace {

struct ColumnsGrid {
    TMemDataSet ds;
    TDataSource source;
    TDBGridEx grid;
    ColumnsGrid()
    {
        ds.AddField(ftInteger, "ID");
        ds.AddField(ftString, "Name", 20);
        ds.AddField(ftFloat, "Amount");
        ds.Open();
        source.SetDataSet(&ds);
        grid.resize(400, 200);
        grid.SetDataSource(&source);
    }
};

}  // namespace

TEST(ColumnInterceptors, RegisteredByTheGridsStartUp)
{
    ColumnsGrid g;
    // The grid's columns are of a derived class: found through the registration for TColumnEx.
    EXPECT_TRUE(*GetStoragePropertyInterceptorClass(TStorageClass::Of<TDBGridColumnEx>()) ==
                TStorageClass::Of<TColumnExPropertyInterceptor>());
    EXPECT_TRUE(*GetStoragePropertyInterceptorClass(TStorageClass::Of<TDBGridColumnsEx>()) ==
                TStorageClass::Of<TColumnsExPropertyInterceptor>());
}

TEST(ColumnInterceptors, WidthGoesToTheAutoFitBaseOnAFittingGrid)
{
    ColumnsGrid g;
    TColumnEx& column = *g.grid.Columns()[1];
    auto interceptor = CreateStoragePropertyInterceptor(column);
    ASSERT_NE(interceptor, nullptr);
    EXPECT_EQ(interceptor->PropertyNames(), QStringList{"Width"});
    EXPECT_THROW(interceptor->GetPropertyValue("Height"), Exception);
    interceptor->SetPropertyValue("Width", Variant(77));
    EXPECT_EQ(column.Width(), 77);
    EXPECT_EQ(interceptor->GetPropertyValue("Width").AsInteger(), 77);

    g.grid.SetAutoFitColWidths(true);
    const int fitted = column.Width();
    interceptor->SetPropertyValue("Width", Variant(150));
    EXPECT_EQ(column.AutoFitColWidthBase(), 150);
    EXPECT_EQ(column.Width(), fitted);
}

TEST(ColumnInterceptors, ColumnsIndexReadsAndRestoresTheOrder)
{
    ColumnsGrid g;
    TDBGridColumnsEx& columns = g.grid.Columns();
    columns.Clear();
    for (const char* name : {"ID", "Name", "Amount"})
        columns.Add()->SetFieldName(name);
    auto interceptor = CreateStoragePropertyInterceptor(columns);
    ASSERT_NE(interceptor, nullptr);
    EXPECT_EQ(interceptor->GetPropertyValue("ColumnsIndex").AsString(), "\"ID\",\"Name\",\"Amount\"");

    // A name no column shows changes nothing for that name; names are compared exactly.
    interceptor->SetPropertyValue("ColumnsIndex", Variant(QString("\"Amount\",\"Missing\",\"id\",\"ID\"")));
    EXPECT_EQ(interceptor->GetPropertyValue("ColumnsIndex").AsString(), "\"Amount\",\"Name\",\"ID\"");
}

TEST(FormInterceptor, StoredAndRestoredOnTheSameScreenKeepsItsSize)
{
    // A screen at another density than the default one.
    ScreenDensity screen(120);
    QWidget form;
    form.setGeometry(40, 80, 400, 300);
    TFormStoragePropertyInterceptor before(form);
    const TStore store = Save(before);
    EXPECT_EQ(store.at("PixelsPerInch").AsInteger(), 120);
    form.setGeometry(0, 0, 100, 100);
    TFormStoragePropertyInterceptor after(form);
    Load(after, store);
    EXPECT_EQ(form.geometry(), QRect(40, 80, 400, 300));
}

TEST(ColumnInterceptors, AnUnchangedColumnsIndexRestoresTheSameOrderWhateverTheNames)
{
    ColumnsGrid g;
    TDBGridColumnsEx& columns = g.grid.Columns();
    columns.Clear();
    // Columns without a field, a field shown twice, names with quotes, commas and blanks.
    const QStringList names = {"", "ID", "", "say \"hi\"", "a,b", "ID", " padded ", "\""};
    std::vector<TColumnEx*> order;
    for (const QString& name : names) {
        order.push_back(columns.Add());
        order.back()->SetFieldName(name);
    }
    auto interceptor = CreateStoragePropertyInterceptor(columns);
    ASSERT_NE(interceptor, nullptr);
    const Variant text = interceptor->GetPropertyValue("ColumnsIndex");
    interceptor->SetPropertyValue("ColumnsIndex", text);
    for (int i = 0; i < columns.Count(); ++i)
        EXPECT_EQ(columns[i], order[std::size_t(i)]) << i;
    EXPECT_EQ(interceptor->GetPropertyValue("ColumnsIndex"), text);

    // Another order read back gives every name its place.
    TStringList stored;
    stored.SetDelimitedText(text.AsString(), ',', '"');
    ASSERT_EQ(stored.Count(), names.size());
    QStringList reversed;
    for (int i = stored.Count() - 1; i >= 0; --i)
        reversed << QuotedStr(stored[i], '"');
    interceptor->SetPropertyValue("ColumnsIndex", Variant(reversed.join(',')));
    for (int i = 0; i < columns.Count(); ++i)
        EXPECT_EQ(columns[i]->FieldName(), names[names.size() - 1 - i]) << i;
}
