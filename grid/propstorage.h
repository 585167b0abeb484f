// Property-storage interceptors: small objects that stand in for a component while its
// properties are saved to or restored from a settings store, presenting them differently from
// how the component holds them (a window's normal bounds at the current screen density, a
// grid's column order as one text). A registry maps component classes to interceptor classes.
#pragma once

#include "platform/variant.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <typeindex>
#include <vector>

class QWidget;
class TColumnEx;
class TDBGridColumnsEx;

// A class as a registry key. A class descends from another when a pointer to it is caught as a
// pointer to the other, which is how the run-time tells base classes without an object at hand.
class TStorageClass {
public:
    template <class T>
    static TStorageClass Of()
    {
        return TStorageClass(typeid(T), [] { throw static_cast<T*>(nullptr); },
                             [](void (*thrower)()) {
                                 try {
                                     thrower();
                                 } catch (T*) {
                                     return true;
                                 } catch (...) {
                                 }
                                 return false;
                             });
    }
    // The class itself or one derived from `base`.
    bool InheritsFrom(const TStorageClass& base) const { return base.catches_(thrower_); }
    bool operator==(const TStorageClass& other) const { return type_ == other.type_; }
    const char* Name() const { return type_.name(); }

private:
    TStorageClass(std::type_index type, void (*thrower)(), bool (*catches)(void (*)()))
        : type_(type), thrower_(thrower), catches_(catches)
    {
    }
    std::type_index type_;
    void (*thrower_)();
    bool (*catches_)(void (*)());
};

// The object an interceptor stands in for, seen as any of its base classes.
class TStorageTarget {
public:
    TStorageTarget() = default;
    template <class T>
    explicit TStorageTarget(T* object) : class_(TStorageClass::Of<T>()), thrower_([object] { throw object; })
    {
    }
    // The object as a T, or null when it is none (or there is no object).
    template <class T>
    T* As() const
    {
        if (!thrower_)
            return nullptr;
        try {
            thrower_();
        } catch (T* object) {
            return object;
        } catch (...) {
        }
        return nullptr;
    }
    const TStorageClass& Class() const { return class_; }

private:
    TStorageClass class_ = TStorageClass::Of<void>();
    std::function<void()> thrower_;
};

class TStoragePropertyInterceptor {
public:
    explicit TStoragePropertyInterceptor(TStorageTarget target) : target_(std::move(target)) {}
    virtual ~TStoragePropertyInterceptor() = default;
    TStoragePropertyInterceptor(const TStoragePropertyInterceptor&) = delete;
    TStoragePropertyInterceptor& operator=(const TStoragePropertyInterceptor&) = delete;

    const TStorageTarget& Target() const { return target_; }

    // The published properties a store reads and writes, by name.
    virtual QStringList PropertyNames() const { return {}; }
    // Raises EPropertyError for a name that is not published.
    virtual Variant GetPropertyValue(const QString& name) const;
    virtual void SetPropertyValue(const QString& name, const Variant& value);

    virtual bool CanStore() const { return true; }
    // Applies what was read from the store to the target.
    virtual void ApplyStored() {}

protected:
    [[noreturn]] static void UnknownProperty(const QString& name);

private:
    TStorageTarget target_;
};

// ---- Registry ----------------------------------------------------------------------------------

using TStoragePropertyInterceptorFactory =
    std::function<std::unique_ptr<TStoragePropertyInterceptor>(const TStorageTarget&)>;

// Replaces any registration for the target class.
void RegisterStoragePropertyInterceptor(const TStorageClass& targetClass, const TStorageClass& interceptorClass,
                                        TStoragePropertyInterceptorFactory factory);
// Removes the pair only when both classes match.
void UnregisterStoragePropertyInterceptor(const TStorageClass& targetClass, const TStorageClass& interceptorClass);

template <class TTarget, class TInterceptor>
void RegisterStoragePropertyInterceptor()
{
    RegisterStoragePropertyInterceptor(TStorageClass::Of<TTarget>(), TStorageClass::Of<TInterceptor>(),
                                       [](const TStorageTarget& target) -> std::unique_ptr<TStoragePropertyInterceptor> {
                                           TTarget* object = target.As<TTarget>();
                                           if (!object)
                                               return nullptr;
                                           return std::make_unique<TInterceptor>(*object);
                                       });
}

template <class TTarget, class TInterceptor>
void UnregisterStoragePropertyInterceptor()
{
    UnregisterStoragePropertyInterceptor(TStorageClass::Of<TTarget>(), TStorageClass::Of<TInterceptor>());
}

// The interceptor class registered for the class, or else for its nearest registered base
// class; null when there is none.
const TStorageClass* GetStoragePropertyInterceptorClass(const TStorageClass& targetClass);

// An interceptor for the object, by its class as above; null when none is registered.
std::unique_ptr<TStoragePropertyInterceptor> CreateStoragePropertyInterceptor(const TStorageTarget& target);
template <class T>
std::unique_ptr<TStoragePropertyInterceptor> CreateStoragePropertyInterceptor(T& object)
{
    return CreateStoragePropertyInterceptor(TStorageTarget(&object));
}

// ---- Forms -------------------------------------------------------------------------------------

enum TWindowState { wsNormal, wsMinimized, wsMaximized };

// Where a form is placed when it is shown. Forms that centre themselves keep the setting in their
// "Position" property; a form without one is placed where it was designed.
enum TPosition {
    poDesigned,
    poDefault,
    poDefaultPosOnly,
    poDefaultSizeOnly,
    poScreenCenter,
    poDesktopCenter,
    poMainFormCenter,
    poOwnerFormCenter
};
TPosition FormPosition(const QWidget& form);
void SetFormPosition(QWidget& form, TPosition position);

// The logical pixels per inch of the screen the window is on (the primary screen without one);
// a test may put another density in its place. Storing and restoring a form both use it.
int ScreenPixelsPerInch(const QWidget* window = nullptr);
void SetScreenPixelsPerInchHook(std::function<int()> hook);

// A window (a widget that is a form) saved as its normal bounds, its density, state and the
// control that had the focus.
class TFormStoragePropertyInterceptor : public TStoragePropertyInterceptor {
public:
    explicit TFormStoragePropertyInterceptor(QWidget& form);

    QStringList PropertyNames() const override;
    Variant GetPropertyValue(const QString& name) const override;
    void SetPropertyValue(const QString& name, const Variant& value) override;
    void ApplyStored() override;

    // The form's current normal bounds (0 when the target is no form).
    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    // Values read from the store; Left and Top mark the position as stored.
    void SetLeft(int value);
    void SetTop(int value);
    void SetWidth(int value) { width_ = value; }
    void SetHeight(int value) { height_ = value; }
    int PixelsPerInch() const { return pixelsPerInch_; }
    void SetPixelsPerInch(int value) { pixelsPerInch_ = value; }
    TWindowState WindowState() const { return windowState_; }
    void SetWindowState(TWindowState value) { windowState_ = value; }
    QWidget* ActiveControl() const { return activeControl_; }
    void SetActiveControl(QWidget* control) { activeControl_ = control; }

private:
    QWidget* Form() const;

    int left_ = 0;
    int top_ = 0;
    int width_ = 0;
    int height_ = 0;
    int pixelsPerInch_ = 96;
    TWindowState windowState_ = wsNormal;
    QPointer<QWidget> activeControl_;
    bool positionSet_ = false;
};

// Registers the form interceptor for windows. The program calls it once at start-up.
void InitPropFilerEx();

// ---- Grid columns ------------------------------------------------------------------------------

// An interceptor that publishes a single property.
class TOnePropertyInterceptor : public TStoragePropertyInterceptor {
public:
    QStringList PropertyNames() const override { return {name_}; }
    Variant GetPropertyValue(const QString& name) const override;
    void SetPropertyValue(const QString& name, const Variant& value) override;

protected:
    TOnePropertyInterceptor(TStorageTarget target, QString name)
        : TStoragePropertyInterceptor(std::move(target)), name_(std::move(name))
    {
    }
    virtual Variant Get() const = 0;
    virtual void Set(const Variant& value) = 0;

private:
    QString name_;
};

// A column's Width: restoring it sets the auto-fit base on a grid that fits its columns.
class TColumnExPropertyInterceptor : public TOnePropertyInterceptor {
public:
    explicit TColumnExPropertyInterceptor(TColumnEx& column);

protected:
    Variant Get() const override;
    void Set(const Variant& value) override;

private:
    TColumnEx& column_;
};

// The column order as ColumnsIndex: "\"A\",\"B\"" by FieldName.
class TColumnsExPropertyInterceptor : public TOnePropertyInterceptor {
public:
    explicit TColumnsExPropertyInterceptor(TDBGridColumnsEx& columns);

protected:
    Variant Get() const override;
    void Set(const Variant& value) override;

private:
    TDBGridColumnsEx& columns_;
};

// Registers the two column interceptors; the grid's start-up does it first.
void RegisterDBGridExStorageInterceptors();
