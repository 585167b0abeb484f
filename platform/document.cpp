#include "platform/document.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <pugixml.hpp>
#include <zip.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace {

const char* const kMainPart = "word/document.xml";

// A system error as the reason inside a sentence.
QString SystemReason(int err)
{
    QString text = ErrnoText(err ? err : EIO);
    text[0] = text[0].toLower();
    return text;
}

// The reason of a failed file operation, taken right after it failed; errno is cleared before
// the operation, so a failure without a system error reads as an input/output error.
QString FileReason()
{
    return SystemReason(errno);
}

QString ZipCodeText(int code)
{
    switch (code) {
    case ZIP_ER_MULTIDISK: return QStringLiteral("многотомные архивы не поддерживаются");
    case ZIP_ER_RENAME: return QStringLiteral("не удалось переименовать временный файл");
    case ZIP_ER_CLOSE: return QStringLiteral("не удалось закрыть файл");
    case ZIP_ER_SEEK: return QStringLiteral("ошибка позиционирования в файле");
    case ZIP_ER_READ: return QStringLiteral("ошибка чтения");
    case ZIP_ER_WRITE: return QStringLiteral("ошибка записи");
    case ZIP_ER_CRC: return QStringLiteral("ошибка контрольной суммы");
    case ZIP_ER_NOENT: return QStringLiteral("нет такого файла");
    case ZIP_ER_EXISTS: return QStringLiteral("файл уже существует");
    case ZIP_ER_OPEN: return QStringLiteral("не удается открыть файл");
    case ZIP_ER_TMPOPEN: return QStringLiteral("не удалось создать временный файл");
    case ZIP_ER_ZLIB:
    case ZIP_ER_COMPRESSED_DATA: return QStringLiteral("сжатые данные повреждены");
    case ZIP_ER_MEMORY: return QStringLiteral("недостаточно памяти");
    case ZIP_ER_COMPNOTSUPP: return QStringLiteral("метод сжатия не поддерживается");
    case ZIP_ER_EOF: return QStringLiteral("файл неожиданно кончился");
    case ZIP_ER_NOZIP: return QStringLiteral("файл не является документом .docx");
    case ZIP_ER_INCONS: return QStringLiteral("файл поврежден");
    case ZIP_ER_REMOVE: return QStringLiteral("не удается удалить файл");
    case ZIP_ER_ENCRNOTSUPP:
    case ZIP_ER_NOPASSWD:
    case ZIP_ER_WRONGPASSWD: return QStringLiteral("документ зашифрован");
    case ZIP_ER_RDONLY: return QStringLiteral("файл доступен только для чтения");
    case ZIP_ER_TELL: return QStringLiteral("ошибка определения позиции в файле");
    default: return QStringLiteral("внутренняя ошибка архива (код %1)").arg(code);
    }
}

// libzip's own texts are English: its code in our words, with the system's reason when it has one.
QString ZipErrorText(const zip_error_t* error)
{
    const QString text = ZipCodeText(zip_error_code_zip(error));
    if (zip_error_system_type(error) == ZIP_ET_SYS && zip_error_code_system(error) != 0)
        return QStringLiteral("%1 (%2)").arg(text, SystemReason(zip_error_code_system(error)));
    return text;
}

QString ZipErrorText(int code)
{
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    const QString text = ZipErrorText(&error);
    zip_error_fini(&error);
    return text;
}

// An open archive that is discarded unless closed on purpose.
struct ZipHandle {
    zip_t* za = nullptr;
    ~ZipHandle()
    {
        if (za)
            zip_discard(za);
    }
};

zip_t* OpenForReading(const QString& zipFile, ZipHandle& handle)
{
    if (!QFileInfo(zipFile).isFile())
        throw EDocumentError(QStringLiteral("Документ \"%1\" не открыт: файл не найден").arg(zipFile));
    int code = 0;
    handle.za = zip_open(QFile::encodeName(zipFile).constData(), ZIP_RDONLY, &code);
    if (!handle.za)
        throw EDocumentError(QStringLiteral("Документ \"%1\" не открыт: %2").arg(zipFile, ZipErrorText(code)));
    return handle.za;
}

// What the members of one package may inflate to, all together. Our templates hold a few hundred
// kilobytes; a small file can claim gigabytes.
constexpr zip_uint64_t kMaxInflatedMB = 64;

// Reads one member whole; `budget` is what the package's members may still inflate to, and the
// member's size is taken from it before anything is allocated.
QByteArray ReadIndex(zip_t* za, zip_uint64_t index, const QString& zipFile, zip_uint64_t& budget)
{
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(za, index, 0, &st) != 0 || !(st.valid & ZIP_STAT_SIZE))
        throw EDocumentError(QStringLiteral("Документ \"%1\" не прочитан: %2").arg(zipFile, ZipErrorText(zip_get_error(za))));
    if (st.size > budget)
        throw EDocumentError(QStringLiteral("Документ \"%1\" не открыт: после распаковки его части занимают больше %2 МБ")
                                 .arg(zipFile)
                                 .arg(kMaxInflatedMB));
    budget -= st.size;
    zip_file_t* zf = zip_fopen_index(za, index, 0);
    if (!zf)
        throw EDocumentError(QStringLiteral("Документ \"%1\" не прочитан: %2").arg(zipFile, ZipErrorText(zip_get_error(za))));
    QByteArray data(qsizetype(st.size), Qt::Uninitialized);
    zip_int64_t done = 0;
    while (done < zip_int64_t(st.size)) {
        const zip_int64_t n = zip_fread(zf, data.data() + done, st.size - zip_uint64_t(done));
        if (n <= 0)
            break;
        done += n;
    }
    const bool ok = done == zip_int64_t(st.size);
    zip_fclose(zf);
    if (!ok)
        throw EDocumentError(QStringLiteral("Документ \"%1\" не прочитан: часть документа повреждена").arg(zipFile));
    return data;
}

bool Is(const pugi::xml_node& n, const char* name)
{
    return n.type() == pugi::node_element && std::strcmp(n.name(), name) == 0;
}

pugi::xml_node Ancestor(pugi::xml_node n, const char* name)
{
    for (n = n.parent(); n; n = n.parent())
        if (Is(n, name))
            return n;
    return {};
}

// The next node in document order (children first, then siblings, then the parents' siblings).
pugi::xml_node NextInOrder(pugi::xml_node n, bool intoChildren = true)
{
    if (intoChildren && n.first_child())
        return n.first_child();
    for (; n; n = n.parent())
        if (n.next_sibling())
            return n.next_sibling();
    return {};
}

pugi::xml_node FirstChildNamed(const pugi::xml_node& parent, const char* name)
{
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (Is(c, name))
            return c;
    return {};
}

pugi::xml_node NextSiblingNamed(pugi::xml_node n, const char* name)
{
    for (n = n.next_sibling(); n; n = n.next_sibling())
        if (Is(n, name))
            return n;
    return {};
}

// The first child of a paragraph after its properties: where its content begins.
pugi::xml_node ContentStart(const pugi::xml_node& para)
{
    pugi::xml_node c = para.first_child();
    if (Is(c, "w:pPr"))
        c = c.next_sibling();
    return c;
}

void AppendText(const pugi::xml_node& node, QString& out)
{
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling()) {
        if (c.type() != pugi::node_element)
            continue;
        if (Is(c, "w:t"))
            out += QString::fromUtf8(c.text().get());
        else if (Is(c, "w:tab"))
            out += QLatin1Char('\t');
        else if (Is(c, "w:br") || Is(c, "w:cr"))
            out += QLatin1Char('\n');
        else if (Is(c, "w:p")) {
            AppendText(c, out);
            if (NextSiblingNamed(c, "w:p"))
                out += QLatin1Char('\n');
        } else if (!Is(c, "w:pPr") && !Is(c, "w:rPr") && !Is(c, "w:tcPr") && !Is(c, "w:delText"))
            AppendText(c, out);
    }
}

QString NodeText(const pugi::xml_node& node)
{
    QString out;
    AppendText(node, out);
    return out;
}

// Empties a cell down to its first paragraph (made when missing) and that paragraph's
// properties; the marks of bookmarks stay when asked. Returns the paragraph.
pugi::xml_node EmptyCell(pugi::xml_node cell, bool keepBookmarks = false)
{
    pugi::xml_node keep = FirstChildNamed(cell, "w:p");
    for (pugi::xml_node c = cell.first_child(); c;) {
        pugi::xml_node next = c.next_sibling();
        if (!Is(c, "w:tcPr") && c != keep)
            cell.remove_child(c);
        c = next;
    }
    if (!keep)
        keep = cell.append_child("w:p");
    for (pugi::xml_node c = keep.first_child(); c;) {
        pugi::xml_node next = c.next_sibling();
        if (!Is(c, "w:pPr") && !(keepBookmarks && (Is(c, "w:bookmarkStart") || Is(c, "w:bookmarkEnd"))))
            keep.remove_child(c);
        c = next;
    }
    return keep;
}

// A row's cells in a fresh, empty copy of the row: properties kept, content and marks gone.
void EmptyRow(pugi::xml_node row)
{
    for (pugi::xml_node cell = row.first_child(); cell; cell = cell.next_sibling()) {
        if (!Is(cell, "w:tc"))
            continue;
        pugi::xml_node keep = EmptyCell(cell);
        // Paragraph ids must stay unique within the document.
        keep.remove_attribute("w14:paraId");
        keep.remove_attribute("w14:textId");
    }
}

// Text content a paragraph may carry: drop what XML cannot hold.
bool Storable(char32_t ch)
{
    if (ch < 0x20)
        return false;
    if (ch >= 0xD800 && ch <= 0xDFFF)
        return false;
    return ch != 0xFFFE && ch != 0xFFFF;
}

struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};

// Typed text as the run's content: line breaks become breaks, tabs tabs; what XML cannot hold
// is dropped.
void FillRun(pugi::xml_node run, const QString& text)
{
    QString pending;
    auto flush = [&] {
        if (pending.isEmpty())
            return;
        pugi::xml_node t = run.append_child("w:t");
        t.append_attribute("xml:space") = "preserve";
        t.text().set(pending.toUtf8().constData());
        pending.clear();
    };
    const QList<uint> chars = text.toUcs4();
    for (qsizetype i = 0; i < chars.size(); ++i) {
        const char32_t ch = chars[i];
        if (ch == '\t') {
            flush();
            run.append_child("w:tab");
        } else if (ch == '\r' || ch == '\n') {
            if (ch == '\r' && i + 1 < chars.size() && chars[i + 1] == '\n')
                ++i;
            flush();
            run.append_child("w:br");
        } else if (Storable(ch)) {
            pending += QString::fromUcs4(&ch, 1);
        }
    }
    flush();
}

// The run formatting typed text takes in a paragraph: its first run's, else its mark's.
pugi::xml_node ParagraphFormat(const pugi::xml_node& para)
{
    for (pugi::xml_node n = para.first_child(); n; n = n.next_sibling())
        if (Is(n, "w:r"))
            if (pugi::xml_node props = FirstChildNamed(n, "w:rPr"))
                return props;
    return FirstChildNamed(FirstChildNamed(para, "w:pPr"), "w:rPr");
}

// Where streamed rows go in the main part, as it is written out.
const char* const kRowsMark = "vemor-rows";
const char* const kRowsMarkText = "<?vemor-rows?>";
const char* const kCellMarkText = "<?vemor-cell?>";

// Text that goes into a run as it is: no breaks, tabs or characters XML cannot hold.
bool PlainText(const QString& text)
{
    return std::none_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 0x20 || c.isSurrogate() || c.unicode() >= 0xFFFE;
    });
}

std::string EscapedText(const QString& text)
{
    std::string out;
    const QByteArray utf8 = text.toUtf8();
    out.reserve(std::size_t(utf8.size()));
    for (char ch : utf8) {
        if (ch == '&')
            out += "&amp;";
        else if (ch == '<')
            out += "&lt;";
        else if (ch == '>')
            out += "&gt;";
        else
            out += ch;
    }
    return out;
}

// A row's XML cut where each cell's text goes (inside the cell's bookmark, when it has one).
std::vector<std::string> RowPieces(const pugi::xml_node& pattern)
{
    pugi::xml_document copy;
    pugi::xml_node row = copy.append_copy(pattern);
    for (pugi::xml_node c = FirstChildNamed(row, "w:tc"); c; c = NextSiblingNamed(c, "w:tc")) {
        pugi::xml_node p = FirstChildNamed(c, "w:p");
        if (!p)
            p = c.append_child("w:p");
        pugi::xml_node end = FirstChildNamed(p, "w:bookmarkEnd");
        (end ? p.insert_child_before(pugi::node_pi, end) : p.append_child(pugi::node_pi)).set_name("vemor-cell");
    }
    StringWriter writer;
    row.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
    std::vector<std::string> pieces;
    std::size_t from = 0;
    for (std::size_t at; (at = writer.out.find(kCellMarkText, from)) != std::string::npos; from = at + std::strlen(kCellMarkText))
        pieces.push_back(writer.out.substr(from, at - from));
    pieces.push_back(writer.out.substr(from));
    return pieces;
}

}  // namespace

struct TWordDocument::Impl {
    QString fileName;
    std::vector<std::pair<QString, QByteArray>> parts;
    int mainIndex = -1;
    pugi::xml_document xml;

    // The cursor: a paragraph and the child before which typed runs go (null: at the end).
    pugi::xml_node para;
    pugi::xml_node before;
    // Run formatting for typed text, copied where the cursor was placed (what it was copied
    // from may be replaced by the typing).
    pugi::xml_document format;
    // What the next typing replaces: nothing, the nodes between two bookmark marks, or a cell.
    enum class Selection { None, Range, Cell } selection = Selection::None;
    pugi::xml_node selStart, selEnd, selCell;

    // A long table's rows (BeginRows .. EndRows): the first row with the pattern's bookmarks,
    // the emptied pattern for the others, each cell's text formatting, and the scratch file the
    // rows are written to until a save puts them in place of the mark.
    pugi::xml_document firstRow;
    pugi::xml_document rowPattern;
    pugi::xml_document cellFormats;
    std::unique_ptr<QTemporaryFile> rows;
    bool addingRows = false;
    qint64 rowCount = 0;
    // The same rows as text: the row's XML split where each cell's text goes (first row and
    // the others), and each cell's opening of a run; plain texts are joined into these.
    std::vector<std::string> firstPieces, patternPieces, runOpen;

    void CheckOpen() const
    {
        if (mainIndex < 0)
            throw EDocumentError(QStringLiteral("Документ не открыт"));
    }

    void CheckCursor() const
    {
        CheckOpen();
        if (!para)
            throw EDocumentError(QStringLiteral("В документе не выбрано место для текста: сначала нужен переход к закладке"));
    }

    pugi::xml_node FindBookmark(const QString& name) const
    {
        CheckOpen();
        const QByteArray utf8 = name.toUtf8();
        pugi::xml_node found = xml.find_node([&utf8](pugi::xml_node n) {
            return Is(n, "w:bookmarkStart") && std::strcmp(n.attribute("w:name").value(), utf8.constData()) == 0;
        });
        if (!found)
            throw EDocumentError(QStringLiteral("В документе нет закладки \"%1\"").arg(name));
        return found;
    }

    pugi::xml_node BookmarkEnd(const pugi::xml_node& start) const
    {
        const pugi::char_t* id = start.attribute("w:id").value();
        return xml.find_node([id](pugi::xml_node n) {
            return Is(n, "w:bookmarkEnd") && std::strcmp(n.attribute("w:id").value(), id) == 0;
        });
    }

    // The paragraph and insertion point of a bookmark's start.
    void PlaceAt(const pugi::xml_node& start, pugi::xml_node& p, pugi::xml_node& at) const
    {
        if (pugi::xml_node owner = Ancestor(start, "w:p")) {
            pugi::xml_node child = start;
            while (child.parent() != owner)
                child = child.parent();
            p = owner;
            at = child.next_sibling();
            return;
        }
        // A mark between paragraphs (before a table, between rows): the next paragraph's start.
        for (pugi::xml_node n = NextInOrder(start); n; n = NextInOrder(n)) {
            if (Is(n, "w:p")) {
                p = n;
                at = ContentStart(n);
                return;
            }
        }
        throw EDocumentError(QStringLiteral("В документе нет абзаца после закладки \"%1\"")
                                 .arg(QString::fromUtf8(start.attribute("w:name").value())));
    }

    void PickFormat()
    {
        pugi::xml_node from;
        for (pugi::xml_node n = before; n && !from; n = n.next_sibling())
            if (Is(n, "w:r"))
                from = FirstChildNamed(n, "w:rPr");
        for (pugi::xml_node n = before ? before.previous_sibling() : para.last_child(); n && !from;
             n = n.previous_sibling())
            if (Is(n, "w:r"))
                from = FirstChildNamed(n, "w:rPr");
        if (!from)
            from = FirstChildNamed(FirstChildNamed(para, "w:pPr"), "w:rPr");
        format.reset();
        if (!from)
            return;
        pugi::xml_node props = format.append_copy(from);
        // Tracked-change marks of the paragraph mark do not belong on typed text.
        for (const char* mark : {"w:ins", "w:del", "w:moveFrom", "w:moveTo", "w:rPrChange"})
            while (pugi::xml_node m = props.child(mark))
                props.remove_child(m);
    }

    void ApplySelection()
    {
        if (selection == Selection::Range) {
            for (pugi::xml_node n = selStart.next_sibling(); n && n != selEnd;) {
                pugi::xml_node next = n.next_sibling();
                if (!Is(n, "w:bookmarkStart") && !Is(n, "w:bookmarkEnd"))
                    para.remove_child(n);
                n = next;
            }
            before = selEnd;
        } else if (selection == Selection::Cell) {
            para = EmptyCell(selCell);
            before = {};
        }
        selection = Selection::None;
    }

    pugi::xml_node NewRun()
    {
        pugi::xml_node run = before ? para.insert_child_before("w:r", before) : para.append_child("w:r");
        if (pugi::xml_node props = format.first_child())
            run.append_copy(props);
        return run;
    }

    pugi::xml_node InsertEmptyRowAfter(const pugi::xml_node& row)
    {
        pugi::xml_node table = row.parent();
        pugi::xml_node copy = table.insert_copy_after(row, row);
        EmptyRow(copy);
        return copy;
    }

    // A streamed row built in a tree: any text, as TypeText types it.
    std::string RowThroughTree(const QStringList& cells) const
    {
        pugi::xml_document one;
        pugi::xml_node row = one.append_copy(rowCount == 0 ? firstRow.first_child() : rowPattern.first_child());
        pugi::xml_node format = cellFormats.first_child().first_child();
        qsizetype i = 0;
        for (pugi::xml_node c = FirstChildNamed(row, "w:tc"); c && i < cells.size();
             c = NextSiblingNamed(c, "w:tc"), format = format.next_sibling(), ++i) {
            // An empty text leaves the cell as the pattern has it: long tables are mostly blanks.
            if (cells[i].isEmpty())
                continue;
            pugi::xml_node p = FirstChildNamed(c, "w:p");
            if (!p)
                p = c.append_child("w:p");
            // Inside the cell's bookmark, when it has one.
            pugi::xml_node end = FirstChildNamed(p, "w:bookmarkEnd");
            pugi::xml_node run = end ? p.insert_child_before("w:r", end) : p.append_child("w:r");
            if (pugi::xml_node props = format.first_child())
                run.append_copy(props);
            FillRun(run, cells[i]);
        }
        StringWriter writer;
        row.print(writer, "", pugi::format_raw, pugi::encoding_utf8);
        return std::move(writer.out);
    }

    void CellOfCursor(pugi::xml_node& cell, pugi::xml_node& row) const
    {
        CheckCursor();
        cell = selection == Selection::Cell ? selCell : Ancestor(para, "w:tc");
        row = cell ? Ancestor(cell, "w:tr") : pugi::xml_node();
        if (!cell || !row)
            throw EDocumentError(QStringLiteral("Место для текста в документе не в таблице"));
    }
};

TWordDocument::TWordDocument() : d_(std::make_unique<Impl>()) {}

TWordDocument::~TWordDocument() = default;

void TWordDocument::Open(const QString& fileName)
{
    Close();
    auto d = std::make_unique<Impl>();
    ZipHandle handle;
    zip_t* za = OpenForReading(fileName, handle);
    zip_uint64_t budget = kMaxInflatedMB * 1024 * 1024;
    const zip_int64_t count = zip_get_num_entries(za, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        const char* name = zip_get_name(za, zip_uint64_t(i), ZIP_FL_ENC_GUESS);
        if (!name)
            continue;
        d->parts.emplace_back(QString::fromUtf8(name), ReadIndex(za, zip_uint64_t(i), fileName, budget));
        if (std::strcmp(name, kMainPart) == 0)
            d->mainIndex = int(d->parts.size()) - 1;
    }
    if (d->mainIndex < 0)
        throw EDocumentError(QStringLiteral("Документ \"%1\" не открыт: в нем нет части %2").arg(fileName, QLatin1String(kMainPart)));
    const QByteArray& main = d->parts[std::size_t(d->mainIndex)].second;
    const pugi::xml_parse_result parsed =
        d->xml.load_buffer(main.constData(), std::size_t(main.size()),
                           pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata_single,
                           pugi::encoding_utf8);
    if (!parsed)
        throw EDocumentError(QStringLiteral("Документ \"%1\" не открыт: текст документа поврежден (позиция %2)")
                                 .arg(fileName)
                                 .arg(qint64(parsed.offset)));
    if (!d->xml.child("w:document").child("w:body"))
        throw EDocumentError(QStringLiteral("Документ \"%1\" не открыт: в нем нет текста документа").arg(fileName));
    d->fileName = fileName;
    d_ = std::move(d);
}

bool TWordDocument::Active() const
{
    return d_->mainIndex >= 0;
}

void TWordDocument::Close()
{
    d_ = std::make_unique<Impl>();
}

QString TWordDocument::FileName() const
{
    return d_->fileName;
}

void TWordDocument::SaveAs(const QString& fileName)
{
    d_->CheckOpen();
    StringWriter writer;
    d_->xml.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
    auto parts = d_->parts;
    const std::size_t at = d_->rows ? writer.out.find(kRowsMarkText) : std::string::npos;
    if (at == std::string::npos) {
        parts[std::size_t(d_->mainIndex)].second = QByteArray::fromStdString(writer.out);
        WriteZipPackage(fileName, parts);
        d_->fileName = fileName;
        return;
    }
    // The main part is put together on disk: what comes before the rows, the rows, the rest.
    auto fail = [&fileName](const QString& why) {
        return EDocumentError(QStringLiteral("Документ \"%1\" не сохранен: %2").arg(fileName, why));
    };
    QTemporaryFile main(QDir(QFileInfo(fileName).absolutePath()).filePath(QStringLiteral(".main-XXXXXX")));
    errno = 0;
    if (!main.open())
        throw fail(FileReason());
    const auto put = [&](const char* data, qint64 size) {
        errno = 0;
        if (main.write(data, size) != size)
            throw fail(FileReason());
    };
    put(writer.out.data(), qint64(at));
    errno = 0;
    if (!d_->rows->flush() || !d_->rows->seek(0))
        throw fail(FileReason());
    QByteArray chunk(1 << 20, Qt::Uninitialized);
    for (qint64 n; (n = d_->rows->read(chunk.data(), chunk.size())) > 0;)
        put(chunk.constData(), n);
    d_->rows->seek(d_->rows->size());
    const std::size_t after = at + std::strlen(kRowsMarkText);
    put(writer.out.data() + after, qint64(writer.out.size() - after));
    errno = 0;
    if (!main.flush())
        throw fail(FileReason());
    parts[std::size_t(d_->mainIndex)].second.clear();
    WriteZipPackage(fileName, parts, parts[std::size_t(d_->mainIndex)].first, main.fileName());
    d_->fileName = fileName;
}

void TWordDocument::GoToBookmark(const QString& name)
{
    Impl& d = *d_;
    const pugi::xml_node start = d.FindBookmark(name);
    pugi::xml_node p, at;
    d.PlaceAt(start, p, at);
    d.para = p;
    d.before = at;
    d.selection = Impl::Selection::None;
    // A bookmark around text in its paragraph selects that text.
    if (start.parent() == p) {
        const pugi::xml_node end = d.BookmarkEnd(start);
        for (pugi::xml_node n = start.next_sibling(); n && end && end.parent() == p; n = n.next_sibling()) {
            if (n == end) {
                d.selection = Impl::Selection::Range;
                d.selStart = start;
                d.selEnd = end;
                break;
            }
        }
    }
    d.PickFormat();
}

void TWordDocument::TypeText(const QString& text)
{
    Impl& d = *d_;
    d.CheckCursor();
    d.ApplySelection();
    FillRun(d.NewRun(), text);
}

void TWordDocument::MoveRightCell()
{
    Impl& d = *d_;
    pugi::xml_node cell, row;
    d.CellOfCursor(cell, row);
    pugi::xml_node next = NextSiblingNamed(cell, "w:tc");
    if (!next) {
        pugi::xml_node nextRow = NextSiblingNamed(row, "w:tr");
        if (!nextRow)
            nextRow = d.InsertEmptyRowAfter(row);
        next = FirstChildNamed(nextRow, "w:tc");
        if (!next)
            throw EDocumentError(QStringLiteral("В таблице документа есть строка без ячеек"));
    }
    pugi::xml_node p = FirstChildNamed(next, "w:p");
    if (!p)
        p = next.append_child("w:p");
    d.para = p;
    d.before = ContentStart(p);
    d.selection = Impl::Selection::Cell;
    d.selCell = next;
    d.PickFormat();
}

void TWordDocument::InsertRowBelow()
{
    Impl& d = *d_;
    pugi::xml_node cell, row;
    d.CellOfCursor(cell, row);
    d.InsertEmptyRowAfter(row);
}

void TWordDocument::BeginRows()
{
    Impl& d = *d_;
    pugi::xml_node cell, row;
    d.CellOfCursor(cell, row);
    if (d.rows)
        throw EDocumentError(QStringLiteral("Построчно заполняется только одна таблица документа"));
    const QString dir = QFileInfo(d.fileName).absolutePath();
    auto file = std::make_unique<QTemporaryFile>(QDir(dir).filePath(QStringLiteral(".rows-XXXXXX")));
    errno = 0;
    if (!file->open())
        throw EDocumentError(QStringLiteral("Документ \"%1\" не записан: %2").arg(d.fileName, FileReason()));
    d.firstRow.reset();
    d.rowPattern.reset();
    d.cellFormats.reset();
    pugi::xml_node formats = d.cellFormats.append_child("formats");
    for (pugi::xml_node c = FirstChildNamed(row, "w:tc"); c; c = NextSiblingNamed(c, "w:tc")) {
        pugi::xml_node f = formats.append_child("cell");
        if (pugi::xml_node props = ParagraphFormat(FirstChildNamed(c, "w:p")))
            f.append_copy(props);
    }
    // The first row keeps the marks of the bookmarks in its cells, the others are plain.
    pugi::xml_node first = d.firstRow.append_copy(row);
    for (pugi::xml_node c = FirstChildNamed(first, "w:tc"); c; c = NextSiblingNamed(c, "w:tc"))
        EmptyCell(c, true);
    EmptyRow(d.rowPattern.append_copy(row));
    d.firstPieces = RowPieces(d.firstRow.first_child());
    d.patternPieces = RowPieces(d.rowPattern.first_child());
    d.runOpen.clear();
    for (pugi::xml_node f = formats.first_child(); f; f = f.next_sibling()) {
        StringWriter props;
        if (f.first_child())
            f.first_child().print(props, "", pugi::format_raw, pugi::encoding_utf8);
        d.runOpen.push_back("<w:r>" + props.out + "<w:t xml:space=\"preserve\">");
    }
    row.parent().insert_child_before(pugi::node_pi, row).set_name(kRowsMark);
    row.parent().remove_child(row);
    d.para = {};
    d.before = {};
    d.selection = Impl::Selection::None;
    d.rows = std::move(file);
    d.rowCount = 0;
    d.addingRows = true;
}

void TWordDocument::AddRow(const QStringList& cells)
{
    Impl& d = *d_;
    if (!d.addingRows)
        throw EDocumentError(QStringLiteral("Таблица документа не заполняется построчно"));
    const std::vector<std::string>& pieces = d.rowCount == 0 ? d.firstPieces : d.patternPieces;
    std::string out;
    if (std::all_of(cells.begin(), cells.end(), PlainText) && pieces.size() == d.runOpen.size() + 1) {
        // Plain texts (no breaks, tabs or control characters) are joined into the row's XML.
        out = pieces[0];
        for (std::size_t i = 0; i + 1 < pieces.size(); ++i) {
            if (qsizetype(i) < cells.size() && !cells[qsizetype(i)].isEmpty())
                out += d.runOpen[i] + EscapedText(cells[qsizetype(i)]) + "</w:t></w:r>";
            out += pieces[i + 1];
        }
    } else {
        out = d.RowThroughTree(cells);
    }
    errno = 0;
    if (d.rows->write(out.data(), qint64(out.size())) != qint64(out.size()))
        throw EDocumentError(QStringLiteral("Документ \"%1\" не записан: %2").arg(d.fileName, FileReason()));
    ++d.rowCount;
}

void TWordDocument::EndRows()
{
    Impl& d = *d_;
    if (!d.addingRows)
        throw EDocumentError(QStringLiteral("Таблица документа не заполняется построчно"));
    errno = 0;
    if (!d.rows->flush())
        throw EDocumentError(QStringLiteral("Документ \"%1\" не записан: %2").arg(d.fileName, FileReason()));
    d.addingRows = false;
}

QStringList TWordDocument::Bookmarks() const
{
    d_->CheckOpen();
    QStringList names;
    for (pugi::xml_node n = d_->xml.first_child(); n; n = NextInOrder(n))
        if (Is(n, "w:bookmarkStart"))
            names << QString::fromUtf8(n.attribute("w:name").value());
    return names;
}

std::vector<QStringList> TWordDocument::TableAtBookmark(const QString& name) const
{
    const pugi::xml_node start = d_->FindBookmark(name);
    pugi::xml_node table = Ancestor(start, "w:tbl");
    if (!table) {
        pugi::xml_node p, at;
        d_->PlaceAt(start, p, at);
        table = Ancestor(p, "w:tbl");
    }
    std::vector<QStringList> rows;
    if (!table)
        return rows;
    for (pugi::xml_node row = FirstChildNamed(table, "w:tr"); row; row = NextSiblingNamed(row, "w:tr")) {
        QStringList cells;
        for (pugi::xml_node cell = FirstChildNamed(row, "w:tc"); cell; cell = NextSiblingNamed(cell, "w:tc"))
            cells << NodeText(cell);
        rows.push_back(cells);
    }
    return rows;
}

QString TWordDocument::ParagraphAtBookmark(const QString& name) const
{
    const pugi::xml_node start = d_->FindBookmark(name);
    pugi::xml_node p, at;
    d_->PlaceAt(start, p, at);
    return NodeText(p);
}

QString TWordDocument::Text() const
{
    d_->CheckOpen();
    QString out;
    const pugi::xml_node body = d_->xml.child("w:document").child("w:body");
    for (pugi::xml_node n = body.first_child(); n; n = n.next_sibling()) {
        if (Is(n, "w:p")) {
            out += NodeText(n) + QLatin1Char('\n');
        } else if (Is(n, "w:tbl")) {
            for (pugi::xml_node row = FirstChildNamed(n, "w:tr"); row; row = NextSiblingNamed(row, "w:tr")) {
                QStringList cells;
                for (pugi::xml_node cell = FirstChildNamed(row, "w:tc"); cell; cell = NextSiblingNamed(cell, "w:tc"))
                    cells << NodeText(cell);
                out += cells.join(QLatin1Char('\t')) + QLatin1Char('\n');
            }
        }
    }
    return out;
}

QByteArray ReadZipEntry(const QString& zipFile, const QString& entry)
{
    ZipHandle handle;
    zip_t* za = OpenForReading(zipFile, handle);
    const zip_int64_t index = zip_name_locate(za, entry.toUtf8().constData(), 0);
    if (index < 0)
        throw EDocumentError(QStringLiteral("В документе \"%1\" нет части %2").arg(zipFile, entry));
    zip_uint64_t budget = kMaxInflatedMB * 1024 * 1024;
    return ReadIndex(za, zip_uint64_t(index), zipFile, budget);
}

QStringList ZipEntries(const QString& zipFile)
{
    ZipHandle handle;
    zip_t* za = OpenForReading(zipFile, handle);
    QStringList names;
    const zip_int64_t count = zip_get_num_entries(za, 0);
    for (zip_int64_t i = 0; i < count; ++i)
        if (const char* name = zip_get_name(za, zip_uint64_t(i), ZIP_FL_ENC_GUESS))
            names << QString::fromUtf8(name);
    return names;
}

void WriteZipPackage(const QString& zipFile, const std::vector<std::pair<QString, QByteArray>>& entries,
                     const QString& fromFileEntry, const QString& fromFile)
{
    // libzip writes into a temporary file beside the target and renames it on close, so an
    // existing file is replaced only by a complete package.
    int code = 0;
    ZipHandle handle;
    handle.za = zip_open(QFile::encodeName(zipFile).constData(), ZIP_CREATE | ZIP_TRUNCATE, &code);
    auto fail = [&zipFile](const QString& why) {
        return EDocumentError(QStringLiteral("Документ \"%1\" не сохранен: %2").arg(zipFile, why));
    };
    if (!handle.za)
        throw fail(ZipErrorText(code));
    // The buffers stay alive in `entries` until the archive is closed.
    for (const auto& [name, data] : entries) {
        // A member too big for memory is read from its file while the package is written.
        zip_source_t* src = !fromFile.isEmpty() && name == fromFileEntry
                                ? zip_source_file(handle.za, QFile::encodeName(fromFile).constData(), 0, -1)
                                : zip_source_buffer(handle.za, data.constData(), zip_uint64_t(data.size()), 0);
        if (!src)
            throw fail(ZipErrorText(zip_get_error(handle.za)));
        const zip_int64_t index = zip_file_add(handle.za, name.toUtf8().constData(), src, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
        if (index < 0) {
            zip_source_free(src);
            throw fail(ZipErrorText(zip_get_error(handle.za)));
        }
        // Long repetitive XML packs nearly as well at the fastest level, in a fraction of the time.
        if (!fromFile.isEmpty() && name == fromFileEntry)
            zip_set_file_compression(handle.za, zip_uint64_t(index), ZIP_CM_DEFLATE, 1);
    }
    if (zip_close(handle.za) != 0)
        throw fail(ZipErrorText(zip_get_error(handle.za)));
    handle.za = nullptr;
}
