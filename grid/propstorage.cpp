#include "grid/propstorage.h"

#include "grid/dbgridexcolumns.h"

#include "platform/exceptions.h"
#include "platform/types.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <cmath>

// ---- TStoragePropertyInterceptor ----------------------------------------------------------------

void TStoragePropertyInterceptor::UnknownProperty(const QString& name)
{
    throw Exception(QStringLiteral("Property %1 does not exist").arg(name));
}

Variant TStoragePropertyInterceptor::GetPropertyValue(const QString& name) const { UnknownProperty(name); }

void TStoragePropertyInterceptor::SetPropertyValue(const QString& name, const Variant& /*value*/)
{
    UnknownProperty(name);
}

// ---- Registry -----------------------------------------------------------------------------------

namespace {

struct TRegistration {
    TStorageClass Target;
    TStorageClass Interceptor;
    TStoragePropertyInterceptorFactory Factory;
};

std::vector<TRegistration>& Registry()
{
    static std::vector<TRegistration> registry;
    return registry;
}

const TRegistration* FindRegistration(const TStorageClass& targetClass)
{
    const TRegistration* best = nullptr;
    for (const TRegistration& r : Registry()) {
        if (r.Target == targetClass)
            return &r;
        // Among the registered base classes the nearest one wins.
        if (targetClass.InheritsFrom(r.Target) && (!best || r.Target.InheritsFrom(best->Target)))
            best = &r;
    }
    return best;
}

} // namespace

void RegisterStoragePropertyInterceptor(const TStorageClass& targetClass, const TStorageClass& interceptorClass,
                                        TStoragePropertyInterceptorFactory factory)
{
    std::vector<TRegistration>& registry = Registry();
    std::erase_if(registry, [&](const TRegistration& r) { return r.Target == targetClass; });
    registry.push_back({targetClass, interceptorClass, std::move(factory)});
}

void UnregisterStoragePropertyInterceptor(const TStorageClass& targetClass, const TStorageClass& interceptorClass)
{
    std::erase_if(Registry(), [&](const TRegistration& r) {
        return r.Target == targetClass && r.Interceptor == interceptorClass;
    });
}

const TStorageClass* GetStoragePropertyInterceptorClass(const TStorageClass& targetClass)
{
    const TRegistration* r = FindRegistration(targetClass);
    return r ? &r->Interceptor : nullptr;
}

std::unique_ptr<TStoragePropertyInterceptor> CreateStoragePropertyInterceptor(const TStorageTarget& target)
{
    const TRegistration* r = FindRegistration(target.Class());
    return r ? r->Factory(target) : nullptr;
}

// ---- Forms --------------------------------------------------------------------------------------

namespace {

constexpr const char* kPositionProperty = "Position";

std::function<int()>& ScreenPixelsPerInchHook()
{
    static std::function<int()> hook;
    return hook;
}

TWindowState WindowStateOf(const QWidget& form)
{
    const Qt::WindowStates state = form.windowState();
    if (state & Qt::WindowMinimized)
        return wsMinimized;
    if (state & (Qt::WindowMaximized | Qt::WindowFullScreen))
        return wsMaximized;
    return wsNormal;
}

Qt::WindowStates QtWindowState(TWindowState state)
{
    switch (state) {
    case wsMinimized: return Qt::WindowMinimized;
    case wsMaximized: return Qt::WindowMaximized;
    default: return Qt::WindowNoState;
    }
}

// The bounds the form has when it is neither maximized nor minimized.
QRect NormalBounds(const QWidget& form)
{
    if (WindowStateOf(form) != wsNormal && form.testAttribute(Qt::WA_WState_Created))
        return form.normalGeometry();
    return form.geometry();
}

} // namespace

TPosition FormPosition(const QWidget& form)
{
    const QVariant v = form.property(kPositionProperty);
    return v.isValid() ? TPosition(v.toInt()) : poDesigned;
}

void SetFormPosition(QWidget& form, TPosition position) { form.setProperty(kPositionProperty, int(position)); }

int ScreenPixelsPerInch(const QWidget* window)
{
    if (const std::function<int()>& hook = ScreenPixelsPerInchHook())
        return hook();
    const QScreen* screen = window ? window->screen() : nullptr;
    if (!screen && qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        screen = QGuiApplication::primaryScreen();
    return screen ? int(std::lround(screen->logicalDotsPerInchY())) : 96;
}

void SetScreenPixelsPerInchHook(std::function<int()> hook) { ScreenPixelsPerInchHook() = std::move(hook); }

TFormStoragePropertyInterceptor::TFormStoragePropertyInterceptor(QWidget& form)
    : TStoragePropertyInterceptor(TStorageTarget(&form))
{
    left_ = Left();
    top_ = Top();
    width_ = Width();
    height_ = Height();
    if (Form()) {
        pixelsPerInch_ = ScreenPixelsPerInch(&form);
        windowState_ = WindowStateOf(form);
        activeControl_ = form.focusWidget();
    }
}

QWidget* TFormStoragePropertyInterceptor::Form() const
{
    QWidget* widget = Target().As<QWidget>();
    return widget && widget->isWindow() ? widget : nullptr;
}

int TFormStoragePropertyInterceptor::Left() const { return Form() ? NormalBounds(*Form()).left() : 0; }
int TFormStoragePropertyInterceptor::Top() const { return Form() ? NormalBounds(*Form()).top() : 0; }
int TFormStoragePropertyInterceptor::Width() const { return Form() ? NormalBounds(*Form()).width() : 0; }
int TFormStoragePropertyInterceptor::Height() const { return Form() ? NormalBounds(*Form()).height() : 0; }

void TFormStoragePropertyInterceptor::SetLeft(int value)
{
    left_ = value;
    positionSet_ = true;
}

void TFormStoragePropertyInterceptor::SetTop(int value)
{
    top_ = value;
    positionSet_ = true;
}

QStringList TFormStoragePropertyInterceptor::PropertyNames() const
{
    return {QStringLiteral("ActiveControl"), QStringLiteral("Height"),      QStringLiteral("Left"),
            QStringLiteral("PixelsPerInch"), QStringLiteral("Top"),         QStringLiteral("Width"),
            QStringLiteral("WindowState")};
}

Variant TFormStoragePropertyInterceptor::GetPropertyValue(const QString& name) const
{
    if (name == QLatin1String("ActiveControl"))
        return activeControl_ ? Variant(activeControl_->objectName()) : Variant(QString());
    if (name == QLatin1String("Height"))
        return Variant(Height());
    if (name == QLatin1String("Left"))
        return Variant(Left());
    if (name == QLatin1String("PixelsPerInch"))
        return Variant(pixelsPerInch_);
    if (name == QLatin1String("Top"))
        return Variant(Top());
    if (name == QLatin1String("Width"))
        return Variant(Width());
    if (name == QLatin1String("WindowState"))
        return Variant(int(windowState_));
    UnknownProperty(name);
}

void TFormStoragePropertyInterceptor::SetPropertyValue(const QString& name, const Variant& value)
{
    if (name == QLatin1String("ActiveControl")) {
        // A control is stored by its name among the form's children.
        const QString control = value.AsString();
        QWidget* form = Form();
        activeControl_ = form && !control.isEmpty() ? form->findChild<QWidget*>(control) : nullptr;
    } else if (name == QLatin1String("Height")) {
        SetHeight(value.AsInteger());
    } else if (name == QLatin1String("Left")) {
        SetLeft(value.AsInteger());
    } else if (name == QLatin1String("PixelsPerInch")) {
        SetPixelsPerInch(value.AsInteger());
    } else if (name == QLatin1String("Top")) {
        SetTop(value.AsInteger());
    } else if (name == QLatin1String("Width")) {
        SetWidth(value.AsInteger());
    } else if (name == QLatin1String("WindowState")) {
        const int state = value.AsInteger();
        SetWindowState(state == wsMinimized ? wsMinimized : state == wsMaximized ? wsMaximized : wsNormal);
    } else {
        UnknownProperty(name);
    }
}

void TFormStoragePropertyInterceptor::ApplyStored()
{
    QWidget* form = Form();
    if (!form)
        return;
    // Stored at another density: the same physical size now.
    const int screenPpi = ScreenPixelsPerInch(form);
    if (pixelsPerInch_ > 0 && screenPpi != pixelsPerInch_) {
        height_ = MulDiv(height_, screenPpi, pixelsPerInch_);
        left_ = MulDiv(left_, screenPpi, pixelsPerInch_);
        top_ = MulDiv(top_, screenPpi, pixelsPerInch_);
        width_ = MulDiv(width_, screenPpi, pixelsPerInch_);
    }
    const QRect bounds(left_, top_, width_, height_);
    if (windowState_ != wsNormal) {
        // The stored rectangle becomes the normal geometry behind the maximized (or minimized)
        // window: set while normal, then the state.
        form->setWindowState(Qt::WindowNoState);
        form->setGeometry(bounds);
        form->setWindowState(QtWindowState(windowState_));
    } else {
        form->setWindowState(Qt::WindowNoState);
        form->setGeometry(bounds);
    }
    if (activeControl_ && form->isAncestorOf(activeControl_))
        activeControl_->setFocus(Qt::OtherFocusReason);
    const TPosition position = FormPosition(*form);
    if ((position == poScreenCenter || position == poDesktopCenter) && positionSet_)
        SetFormPosition(*form, poDesigned);
}

void InitPropFilerEx() { RegisterStoragePropertyInterceptor<QWidget, TFormStoragePropertyInterceptor>(); }

// ---- Grid columns -------------------------------------------------------------------------------

Variant TOnePropertyInterceptor::GetPropertyValue(const QString& name) const
{
    if (name != name_)
        UnknownProperty(name);
    return Get();
}

void TOnePropertyInterceptor::SetPropertyValue(const QString& name, const Variant& value)
{
    if (name != name_)
        UnknownProperty(name);
    Set(value);
}

TColumnExPropertyInterceptor::TColumnExPropertyInterceptor(TColumnEx& column)
    : TOnePropertyInterceptor(TStorageTarget(&column), QStringLiteral("Width")), column_(column)
{
}

Variant TColumnExPropertyInterceptor::Get() const { return Variant(column_.Width()); }

void TColumnExPropertyInterceptor::Set(const Variant& value) { column_.RestoreStoredWidth(value.AsInteger()); }

TColumnsExPropertyInterceptor::TColumnsExPropertyInterceptor(TDBGridColumnsEx& columns)
    : TOnePropertyInterceptor(TStorageTarget(&columns), QStringLiteral("ColumnsIndex")), columns_(columns)
{
}

Variant TColumnsExPropertyInterceptor::Get() const { return Variant(columns_.ColumnsIndexText()); }

void TColumnsExPropertyInterceptor::Set(const Variant& value) { columns_.SetColumnsIndexText(value.AsString()); }

void RegisterDBGridExStorageInterceptors()
{
    RegisterStoragePropertyInterceptor<TColumnEx, TColumnExPropertyInterceptor>();
    RegisterStoragePropertyInterceptor<TDBGridColumnsEx, TColumnsExPropertyInterceptor>();
}
