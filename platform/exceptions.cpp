#include "platform/exceptions.h"

#include <cerrno>

Exception::Exception(const QString& message) : message_(message), utf8_(message.toUtf8()) {}

Exception::~Exception() = default;

void Exception::SetMessage(const QString& message)
{
    message_ = message;
    utf8_ = message.toUtf8();
}

EReadError::EReadError() : EStreamError(QStringLiteral("Ошибка чтения потока")) {}

EWriteError::EWriteError() : EStreamError(QStringLiteral("Ошибка записи потока")) {}

EAbort::EAbort() : Exception(QStringLiteral("Операция прервана")) {}

void Abort()
{
    throw EAbort();
}

QString ErrnoText(int err)
{
    switch (err) {
    case EPERM: return QStringLiteral("Операция не разрешена");
    case ENOENT: return QStringLiteral("Нет такого файла или каталога");
    case EINTR: return QStringLiteral("Вызов прерван");
    case EIO: return QStringLiteral("Ошибка ввода-вывода");
    case ENXIO: return QStringLiteral("Нет такого устройства или адреса");
    case EBADF: return QStringLiteral("Неверный дескриптор файла");
    case EAGAIN: return QStringLiteral("Ресурс временно недоступен");
    case ENOMEM: return QStringLiteral("Недостаточно памяти");
    case EACCES: return QStringLiteral("Отказано в доступе");
    case EBUSY: return QStringLiteral("Устройство или ресурс занято");
    case EEXIST: return QStringLiteral("Файл уже существует");
    case EXDEV: return QStringLiteral("Файл нельзя перенести на другое устройство");
    case ENODEV: return QStringLiteral("Нет такого устройства");
    case ENOTDIR: return QStringLiteral("Часть пути не является каталогом");
    case EISDIR: return QStringLiteral("Это каталог");
    case EINVAL: return QStringLiteral("Недопустимый аргумент");
    case ENFILE: return QStringLiteral("В системе открыто слишком много файлов");
    case EMFILE: return QStringLiteral("Открыто слишком много файлов");
    case ENOTTY: return QStringLiteral("Устройство не поддерживает эту операцию");
    case ETXTBSY: return QStringLiteral("Файл занят");
    case EFBIG: return QStringLiteral("Файл слишком велик");
    case ENOSPC: return QStringLiteral("На диске нет места");
    case ESPIPE: return QStringLiteral("Недопустимое позиционирование");
    case EROFS: return QStringLiteral("Файловая система доступна только для чтения");
    case EPIPE: return QStringLiteral("Канал разорван");
    case ENAMETOOLONG: return QStringLiteral("Слишком длинное имя файла");
    case ENOTEMPTY: return QStringLiteral("Каталог не пуст");
    case ELOOP: return QStringLiteral("Слишком много символических ссылок");
    case ETIMEDOUT: return QStringLiteral("Время ожидания истекло");
    case EDQUOT: return QStringLiteral("Превышена дисковая квота");
    default: return QStringLiteral("Системная ошибка %1").arg(err);
    }
}
