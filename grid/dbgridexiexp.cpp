#include "grid/dbgridexiexp.h"

#include "platform/application.h"
#include "platform/exceptions.h"
#include "platform/text.h"
#include "platform/types.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <utility>

namespace {

// The grid measures in screen pixels at this density (fonts are made for it as well).
constexpr double kPixelsPerInch = 96.0;

// ---- Clipboard state ----------------------------------------------------------------------------

struct ClipboardFormats {
    std::map<TClipboardFormat, QString> names;
    TClipboardFormat next = 0xC000;
};

ClipboardFormats& Formats()
{
    static ClipboardFormats formats;
    return formats;
}

struct ClipboardSession {
    int depth = 0;
    std::unique_ptr<QMimeData> pending;
};

ClipboardSession& Session()
{
    static ClipboardSession session;
    return session;
}

QClipboard* SystemClipboard()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return nullptr;
    return QGuiApplication::clipboard();
}

QByteArray UpToZero(const QByteArray& bytes)
{
    const qsizetype zero = bytes.indexOf('\0');
    return zero < 0 ? bytes : bytes.left(zero);
}

QByteArray WholeStream(TStream& stream)
{
    const std::int64_t old = stream.Position();
    stream.SetPosition(0);
    QByteArray bytes = stream.ReadBytes();
    stream.SetPosition(old);
    return bytes;
}

// Line ends as the classic clipboard has them: CR LF. Line breaks inside a quoted cell are data
// and stay as they are.
QString WithCrLf(const QString& text)
{
    QString out;
    out.reserve(text.size() + text.size() / 8);
    bool cellStart = true;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
        if (quoted) {
            out.append(ch);
            if (ch == QLatin1Char('"')) {
                if (next == QLatin1Char('"')) {
                    out.append(next);
                    ++i;
                } else {
                    quoted = false;
                }
            }
            continue;
        }
        if (cellStart && ch == QLatin1Char('"')) {
            quoted = true;
            cellStart = false;
            out.append(ch);
            continue;
        }
        cellStart = false;
        if (ch == QLatin1Char('\r') && next == QLatin1Char('\n')) {
            out.append(QStringLiteral("\r\n"));
            ++i;
            cellStart = true;
        } else if (ch == QLatin1Char('\n')) {
            out.append(QStringLiteral("\r\n"));
            cellStart = true;
        } else {
            cellStart = ch == QLatin1Char('\t');
            out.append(ch);
        }
    }
    if (!quoted)
        return out;
    // An opening quote that never closes was no quoting: plain line ends throughout.
    QString plain = text;
    plain.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    plain.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return plain;
}

QString FromUtf16(const QByteArray& bytes)
{
    QString text;
    text.reserve(bytes.size() / 2);
    for (qsizetype i = 0; i + 1 < bytes.size(); i += 2) {
        const char16_t ch = char16_t(std::uint8_t(bytes[i]) | (std::uint8_t(bytes[i + 1]) << 8));
        if (ch == 0)
            break;
        text.append(QChar(ch));
    }
    return text;
}

QByteArray Utf16Bytes(const QString& text)
{
    QByteArray bytes;
    bytes.reserve(text.size() * 2);
    for (QChar ch : text) {
        bytes.append(char(ch.unicode() & 0xFF));
        bytes.append(char(ch.unicode() >> 8));
    }
    return bytes;
}

// ---- Data-set helpers ----------------------------------------------------------------------------

// Keeps the dataset's controls disabled for its lifetime.
class TControlsLock {
public:
    explicit TControlsLock(TDataSet* ds) : ds_(ds)
    {
        if (ds_)
            ds_->DisableControls();
    }
    ~TControlsLock()
    {
        if (!ds_)
            return;
        try {
            ds_->EnableControls();
        } catch (...) {
            // Already unwinding from the first failure; that one is what the caller sees.
        }
    }
    // The normal way out, where a failure to refresh the controls may be reported.
    void Release()
    {
        TDataSet* ds = std::exchange(ds_, nullptr);
        if (ds)
            ds->EnableControls();
    }
    TControlsLock(const TControlsLock&) = delete;
    TControlsLock& operator=(const TControlsLock&) = delete;

private:
    TDataSet* ds_;
};

// The record the grid stood on, so that walking the records leaves the grid where it was.
class TSavedPosition {
public:
    explicit TSavedPosition(TDataSet* ds)
        : ds_(ds), bookmark_(ds && ds->Active() && !ds->IsEmpty() ? ds->GetBookmark() : TBookmark{})
    {
    }
    void Restore() const
    {
        if (ds_ && !bookmark_.IsNull() && ds_->BookmarkValid(bookmark_))
            ds_->GotoBookmark(bookmark_);
    }

private:
    TDataSet* ds_;
    TBookmark bookmark_;
};

bool InEditState(const TDataSet& ds) { return ds.State() == dsEdit || ds.State() == dsInsert; }

// The field a column's value is written to: its own, or for a lookup field the key field.
TField* ValueTargetField(TColumnEx& column)
{
    TField* field = column.Field();
    if (!field || !field->Lookup())
        return field;
    const QString keys = field->KeyFields();
    if (keys.isEmpty() || !field->DataSet())
        return nullptr;
    return field->DataSet()->FindField(keys);
}

// The target field in edit or insert state, or null when the column may not change it.
TField* EditTarget(TColumnEx& column)
{
    if (!column.CanModify(false))
        return nullptr;
    TField* field = ValueTargetField(column);
    if (!field || !field->DataSet())
        return nullptr;
    TDataSet& ds = *field->DataSet();
    if (ds.CanModify() && !InEditState(ds))
        ds.Edit();
    return InEditState(ds) ? field : nullptr;
}

// Visible columns whose index lies between two data columns.
TColumnsExList VisibleColumnsBetween(TCustomDBGridEx& grid, int left, int right)
{
    TColumnsExList list;
    const TColumnsExList& visible = grid.VisibleColumns();
    for (int i = 0; i < visible.Count(); ++i) {
        const int index = visible[i]->Index();
        if (index >= left && index <= right)
            list.Add(visible[i]);
    }
    return list;
}

TColumnsExList CopyOf(const TColumnsExList& source)
{
    TColumnsExList list;
    for (TColumnEx* c : source.List())
        list.Add(c);
    return list;
}

bool IsBinaryKind(TFieldType type)
{
    switch (type) {
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftGraphic:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob: return true;
    default: return false;
    }
}

// Visits the records from the rectangle's top row down to its bottom row (or the end); visit
// returns false to stop early.
template <class F>
void ForEachRectRecord(TDataSet& ds, TDBGridExSelectionRect& rect, F&& visit)
{
    const TBookmark top = rect.TopRow();
    const TBookmark bottom = rect.BottomRow();
    if (!ds.BookmarkValid(top))
        return;
    ds.GotoBookmark(top);
    while (!ds.Eof()) {
        if (!visit())
            return;
        if (ds.CompareBookmarks(ds.GetBookmark(), bottom) == 0)
            return;
        ds.Next();
    }
}

const TFormatSettings& SettingsOf(const TDataSet* ds) { return ds ? ds->FormatSettings() : FormatSettings(); }

int TwipsOf(double pixels) { return int(RoundHalfEven(pixels / kPixelsPerInch * 1440.0)); }

} // namespace

// ---- Clipboard ----------------------------------------------------------------------------------

TClipboardFormat RegisterClipboardFormat(const QString& name)
{
    ClipboardFormats& f = Formats();
    for (const auto& [format, known] : f.names)
        if (known.compare(name, Qt::CaseInsensitive) == 0)
            return format;
    const TClipboardFormat format = f.next++;
    f.names.emplace(format, name);
    return format;
}

QString ClipboardFormatMimeType(TClipboardFormat format)
{
    if (format == CF_TEXT || format == CF_UNICODETEXT)
        return QStringLiteral("text/plain");
    const ClipboardFormats& f = Formats();
    const auto it = f.names.find(format);
    if (it == f.names.end())
        return QString();
    QString name = it->second.toLower();
    name.replace(QLatin1Char(' '), QLatin1Char('-'));
    return QStringLiteral("application/x-vemor-") + name;
}

TClipboardFormat CF_GRIDREC()
{
    static const TClipboardFormat format = RegisterClipboardFormat(QStringLiteral("GRIDREC"));
    return format;
}

TClipboardFormat CF_CSV()
{
    static const TClipboardFormat format = RegisterClipboardFormat(QStringLiteral("Csv"));
    return format;
}

TClipboardFormat CF_RICHTEXT()
{
    static const TClipboardFormat format = RegisterClipboardFormat(QStringLiteral("Rich Text Format"));
    return format;
}

TClipboardScope::TClipboardScope() { ++Session().depth; }

TClipboardScope::~TClipboardScope()
{
    ClipboardSession& s = Session();
    if (--s.depth > 0 || !s.pending)
        return;
    std::unique_ptr<QMimeData> data = std::move(s.pending);
    if (QClipboard* clipboard = SystemClipboard())
        clipboard->setMimeData(data.release());
}

namespace {

QMimeData& PendingData()
{
    ClipboardSession& s = Session();
    if (!s.pending)
        s.pending = std::make_unique<QMimeData>();
    return *s.pending;
}

// Other programs read the standard text types as UTF-8.
void PutStandardCsv(const QString& text)
{
    TClipboardScope scope;
    PendingData().setData(QStringLiteral("text/csv"), text.toUtf8());
}

} // namespace

void ClipboardPutStream(TClipboardFormat format, TStream& stream)
{
    const QString mime = ClipboardFormatMimeType(format);
    if (mime.isEmpty())
        throw Exception(QStringLiteral("Unknown clipboard format %1").arg(format));
    const QByteArray bytes = WholeStream(stream);
    TClipboardScope scope;
    ClipboardSession& s = Session();
    PendingData();
    if (format == CF_TEXT) {
        s.pending->setText(FromCp1251(UpToZero(bytes)));
    } else if (format == CF_UNICODETEXT) {
        s.pending->setText(FromUtf16(bytes));
    } else {
        // Our own types keep the code page; other programs look for the standard types, without
        // our terminating zero (RTF is ASCII throughout).
        s.pending->setData(mime, bytes);
        if (format == CF_CSV()) {
            PutStandardCsv(FromCp1251(UpToZero(bytes)));
        } else if (format == CF_RICHTEXT()) {
            s.pending->setData(QStringLiteral("text/rtf"), UpToZero(bytes));
            s.pending->setData(QStringLiteral("application/rtf"), UpToZero(bytes));
        }
    }
}

void ClipboardGetStream(TClipboardFormat format, TStream& stream)
{
    QClipboard* clipboard = SystemClipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data)
        return;
    if (format == CF_TEXT || format == CF_UNICODETEXT) {
        if (!data->hasText())
            return;
        const QString text = WithCrLf(data->text());
        if (format == CF_TEXT) {
            stream.WriteBuffer(ToCp1251(text) + QByteArray(1, '\0'));
        } else {
            stream.WriteBuffer(Utf16Bytes(text) + QByteArray(2, '\0'));
        }
        return;
    }
    const QString mime = ClipboardFormatMimeType(format);
    if (!mime.isEmpty() && data->hasFormat(mime))
        stream.WriteBuffer(data->data(mime));
}

void ClipboardPutUnicodeText(TStream& stream)
{
    const QString text = FromCp1251(UpToZero(WholeStream(stream)));
    TMemoryStream unicode(Utf16Bytes(text) + QByteArray(2, '\0'));
    ClipboardPutStream(CF_UNICODETEXT, unicode);
}

bool ClipboardHasFormat(TClipboardFormat format)
{
    QClipboard* clipboard = SystemClipboard();
    const QMimeData* data = clipboard ? clipboard->mimeData() : nullptr;
    if (!data)
        return false;
    if (format == CF_TEXT || format == CF_UNICODETEXT)
        return data->hasText();
    const QString mime = ClipboardFormatMimeType(format);
    return !mime.isEmpty() && data->hasFormat(mime);
}

// ---- TDBGridExExport ----------------------------------------------------------------------------

TDBGridExExport::TDBGridExExport() : cellParams_(std::make_unique<TColCellParamsEx>()) {}

TDBGridExExport::~TDBGridExExport() = default;

TCustomDBGridEx& TDBGridExExport::Grid() const
{
    if (!grid_)
        throw Exception(QStringLiteral("TDBGridExExport: no grid"));
    return *grid_;
}

void TDBGridExExport::Write(const QByteArray& bytes)
{
    if (!bytes.isEmpty())
        stream_->WriteBuffer(bytes);
}

void TDBGridExExport::WriteText(const QString& text)
{
    Write(unicodeText_ ? Utf16Bytes(text) : ToCp1251(text));
}

void TDBGridExExport::ExportToStream(TStream& stream, bool saveAll) { RunExport(stream, saveAll); }

void TDBGridExExport::ExportToFile(const QString& fileName, bool saveAll)
{
    TFileStream file(fileName, fmCreate);
    ExportToStream(file, saveAll);
}

bool TDBGridExExport::RunExport(TStream& stream, bool saveAll)
{
    stream_ = &stream;
    TCustomDBGridEx& grid = Grid();
    TDataSet* ds = grid.DataSet();
    const TDBGridExSelectionType kind = saveAll ? gstAll : grid.Selection().SelectionType();
    if (kind == gstNon || !ds || !grid.DataLink().Active())
        return false;

    TControlsLock lock(ds);
    const TSavedPosition position(ds);

    switch (kind) {
    case gstRectangle: {
        TDBGridExSelectionRect& rect = grid.Selection().Rect();
        columns_ = VisibleColumnsBetween(grid, rect.LeftCol(), rect.RightCol());
        break;
    }
    case gstColumns: columns_ = CopyOf(grid.Selection().Columns()); break;
    default: columns_ = CopyOf(grid.VisibleColumns()); break;
    }

    footerValues_.assign(std::size_t(std::max(0, grid.FooterRowCount()) * columns_.Count()), Currency());
    footerOverflow_.assign(footerValues_.size(), false);
    WritePrefix();
    if (grid.Options().Contains(dgTitles))
        WriteTitle(columns_);

    auto writeCurrent = [this] {
        Accumulate();
        WriteRecord(columns_);
    };
    switch (kind) {
    case gstRecordBookmarks: {
        const std::vector<TBookmark> marks = grid.SelectedRows().List();
        for (const TBookmark& b : marks) {
            // A record deleted behind the selection's back is skipped.
            if (!ds->BookmarkValid(b))
                continue;
            ds->GotoBookmark(b);
            writeCurrent();
        }
        break;
    }
    case gstRectangle:
        ForEachRectRecord(*ds, grid.Selection().Rect(), [&] {
            writeCurrent();
            return true;
        });
        break;
    default:
        ds->First();
        while (!ds->Eof()) {
            writeCurrent();
            ds->Next();
        }
        break;
    }

    for (int row = 0; row < grid.FooterRowCount(); ++row)
        WriteFooter(columns_, row);

    position.Restore();
    lock.Release();
    WriteSuffix();
    footerValues_.clear();
    footerOverflow_.clear();
    return true;
}

void TDBGridExExport::Accumulate()
{
    TCustomDBGridEx& grid = Grid();
    TDataSet* ds = grid.DataSet();
    const int count = columns_.Count();
    for (int row = 0; row < grid.FooterRowCount(); ++row) {
        for (int i = 0; i < count; ++i) {
            TColumnEx& column = *columns_[i];
            const TColumnFooterEx& footer = column.GetFooterByIndex(row);
            if (footer.ValueType() != fvtSum && footer.ValueType() != fvtCount)
                continue;
            const QString name = footer.FieldName().isEmpty() ? column.FieldName() : footer.FieldName();
            const TField* field = ds->FindField(name);
            if (!field)
                continue;
            const std::size_t at = std::size_t(row * count + i);
            if (footerOverflow_[at])
                continue;
            Currency add = Currency::FromInt(1);
            if (footer.ValueType() == fvtSum) {
                if (field->IsNull())
                    continue;
                if (field->DataType() == ftFloat || field->DataType() == ftCurrency) {
                    // A float beyond Currency (or no number at all) spoils the total, not the export.
                    const double v = field->AsFloat();
                    if (!std::isfinite(v) || std::fabs(v) >= 922337203685477.0) {
                        footerOverflow_[at] = true;
                        continue;
                    }
                    add = Currency::FromDouble(v);
                } else {
                    add = field->AsCurrency();
                }
            }
            Currency& value = footerValues_[at];
            if (__builtin_add_overflow(value.Value, add.Value, &value.Value))
                footerOverflow_[at] = true;
        }
    }
}

QString TDBGridExExport::AccumulatedText(TColumnEx& column, int columnPos, int footerRow) const
{
    const TColumnFooterEx& footer = column.GetFooterByIndex(footerRow);
    const std::size_t at = std::size_t(footerRow * columns_.Count() + columnPos);
    if (footerOverflow_[at])
        return QStringLiteral("Переполнение");
    const Currency value = footerValues_[at];
    const TDataSet* ds = grid_->DataSet();
    const TFormatSettings& fs = SettingsOf(ds);
    if (footer.ValueType() == fvtCount)
        return FloatToStr(value.ToDouble(), fs);
    const QString name = footer.FieldName().isEmpty() ? column.FieldName() : footer.FieldName();
    const TField* field = ds ? ds->FindField(name) : nullptr;
    if (!field)
        return QString();
    switch (field->DataType()) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
        if (!field->DisplayFormat().isEmpty())
            return FormatFloat(field->DisplayFormat(), value.ToDouble(), fs);
        return IntToStr(value.ToInt64());
    case ftFloat:
    case ftCurrency:
        if (!field->DisplayFormat().isEmpty())
            return FormatFloat(field->DisplayFormat(), value.ToDouble(), fs);
        if (field->IsCurrency())
            return FloatToStrF(value.ToDouble(), ffCurrency, field->Precision(), fs.CurrencyDecimals, fs);
        return FloatToStrF(value.ToDouble(), ffGeneral, field->Precision(), 0, fs);
    case ftBCD:
        if (!field->DisplayFormat().isEmpty())
            return FormatCurr(field->DisplayFormat(), value, fs);
        if (field->IsCurrency())
            return FloatToStrF(value.ToDouble(), ffCurrency, field->Precision(), fs.CurrencyDecimals, fs);
        return CurrToStr(value, fs);
    default: return QString();
    }
}

void TDBGridExExport::PrepareCellParams(TColumnEx& column, TColCellParamsEx& params)
{
    TCustomDBGridEx& grid = Grid();
    params.Col = -1;
    params.Row = -1;
    params.Font.Assign(column.Font());
    params.Background = column.Color();
    params.Alignment = column.Alignment();
    params.ImageIndex = column.GetImageIndex();
    params.Text = column.DisplayText();
    params.CheckboxState = column.GetColumnType() == ctCheckboxes ? column.CheckboxState() : cbUnchecked;
    params.ReadOnly = column.ReadOnly();
    if (grid.OnGetCellParams)
        grid.OnGetCellParams(grid, column, params.Font, params.Background, TGridDrawState{});
    if (column.OnGetCellParams)
        column.OnGetCellParams(column, false, params);
}

TDBGridExExport::TFooterCell TDBGridExExport::PrepareFooterCell(TColumnEx& column, int columnPos, int footerRow)
{
    TCustomDBGridEx& grid = Grid();
    const TColumnFooterEx& footer = column.GetFooterByIndex(footerRow);
    TFooterCell cell;
    cell.Font.Assign(footer.Font());
    cell.Background = footer.Color();
    cell.Alignment = footer.Alignment();
    if (footer.ValueType() == fvtSum || footer.ValueType() == fvtCount)
        cell.Text = AccumulatedText(column, columnPos, footerRow);
    else
        cell.Text = grid.GetFooterValueText(footerRow, column);
    if (grid.OnGetFooterParams)
        grid.OnGetFooterParams(grid, column.Index(), footerRow, column, cell.Font, cell.Background, cell.Alignment,
                               TGridDrawState{}, cell.Text);
    return cell;
}

void TDBGridExExport::WriteTitle(const TColumnsExList& /*columns*/) {}

void TDBGridExExport::WriteRecord(const TColumnsExList& columns)
{
    for (TColumnEx* column : columns.List()) {
        PrepareCellParams(*column, *cellParams_);
        WriteDataCell(*column, *cellParams_);
    }
}

void TDBGridExExport::WriteDataCell(TColumnEx& /*column*/, TColCellParamsEx& /*params*/) {}

void TDBGridExExport::WriteFooter(const TColumnsExList& columns, int footerRow)
{
    for (int i = 0; i < columns.Count(); ++i) {
        TColumnEx& column = *columns[i];
        const TFooterCell cell = PrepareFooterCell(column, i, footerRow);
        WriteFooterCell(column.Index(), footerRow, cell.Text, cell.Alignment, cell.Background, cell.Font, column);
    }
}

void TDBGridExExport::WriteFooterCell(int /*dataCol*/, int /*footerRow*/, const QString& /*text*/,
                                      TAlignment /*alignment*/, TColor /*background*/, const TFont& /*font*/,
                                      TColumnEx& /*column*/)
{
}

// ---- Text and CSV ---------------------------------------------------------------------------------

void TDBGridExExportAsText::ExportToStream(TStream& stream, bool saveAll)
{
    firstLine_ = true;
    TDBGridExExport::ExportToStream(stream, saveAll);
}

void TDBGridExExportAsText::WriteLineBreak()
{
    if (firstLine_)
        firstLine_ = false;
    else
        WriteText(QStringLiteral("\r\n"));
}

void TDBGridExExportAsText::WriteCellSeparator()
{
    if (firstCell_)
        firstCell_ = false;
    else
        WriteText(QStringLiteral("\t"));
}

void TDBGridExExportAsText::WriteTitle(const TColumnsExList& columns)
{
    WriteLineBreak();
    firstCell_ = true;
    for (TColumnEx* column : columns.List()) {
        WriteCellSeparator();
        WriteText(CellText(column->Title().Caption()));
    }
}

void TDBGridExExportAsText::WriteRecord(const TColumnsExList& columns)
{
    WriteLineBreak();
    firstCell_ = true;
    TDBGridExExport::WriteRecord(columns);
}

void TDBGridExExportAsText::WriteDataCell(TColumnEx& /*column*/, TColCellParamsEx& params)
{
    WriteCellSeparator();
    WriteText(CellText(params.Text));
}

void TDBGridExExportAsText::WriteFooter(const TColumnsExList& columns, int footerRow)
{
    WriteLineBreak();
    firstCell_ = true;
    TDBGridExExport::WriteFooter(columns, footerRow);
}

void TDBGridExExportAsText::WriteFooterCell(int /*dataCol*/, int /*footerRow*/, const QString& text,
                                            TAlignment /*alignment*/, TColor /*background*/,
                                            const TFont& /*font*/, TColumnEx& /*column*/)
{
    WriteCellSeparator();
    WriteText(CellText(text));
}

QString TDBGridExExportAsText::CellText(const QString& text) const
{
    // A cell that holds a separator or a line break, or that starts like a quoted one, is quoted
    // so that it reads back as one cell; every other cell goes out as it is.
    const bool quote = text.startsWith(QLatin1Char('"')) || text.contains(QLatin1Char('\t')) ||
                       text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n'));
    return quote ? QuotedStr(text, QLatin1Char('"')) : text;
}

void TDBGridExExportAsCSV::WriteCellSeparator()
{
    if (firstCell_)
        firstCell_ = false;
    else
        WriteText(QString(separator_));
}

QString TDBGridExExportAsCSV::CellText(const QString& text) const { return QuotedStr(text, QLatin1Char('"')); }

// ---- RTF ----------------------------------------------------------------------------------------

namespace {

QString AlignmentWord(TAlignment alignment)
{
    switch (alignment) {
    case taRightJustify: return QStringLiteral("\\qr");
    case taCenter: return QStringLiteral("\\qc");
    default: return QStringLiteral("\\ql");
    }
}

// Characters that would end or open a group or a control word are taken literally; a line break
// inside a cell (CR LF, CR or LF) becomes \line, a TAB \tab; everything outside ASCII goes as
// \uN with the code-page character (or "?") for readers that know no Unicode.
QString RtfEscaped(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar ch = text[i];
        const char16_t code = ch.unicode();
        if (ch == QLatin1Char('\\') || ch == QLatin1Char('{') || ch == QLatin1Char('}')) {
            out.append(QLatin1Char('\\'));
            out.append(ch);
        } else if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
            if (ch == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
                ++i;
            out.append(QStringLiteral("\\line "));
        } else if (ch == QLatin1Char('\t')) {
            out.append(QStringLiteral("\\tab "));
        } else if (code < 0x20) {
            // Other control characters have no place in RTF text.
        } else if (code < 0x80) {
            out.append(ch);
        } else {
            const char fallback = UnicodeToCp1251(code);
            out.append(QStringLiteral("\\u%1").arg(int(std::int16_t(code))));
            if (fallback == '?')
                out.append(QLatin1Char('?'));
            else
                out.append(QStringLiteral("\\'%1").arg(std::uint8_t(fallback), 2, 16, QLatin1Char('0')));
        }
    }
    return out;
}

} // namespace

int TDBGridExExportAsRTF::ColorIndex(TColor color)
{
    const TColor rgb = ColorToRGB(color);
    const QString key = QString::asprintf("%3d%3d%3d", int(rgb & 0xFF), int((rgb >> 8) & 0xFF), int((rgb >> 16) & 0xFF));
    int index = colorTable_.indexOf(key);
    if (index < 0) {
        colorTable_.append(key);
        index = int(colorTable_.size()) - 1;
    }
    return index;
}

int TDBGridExExportAsRTF::FontIndex(const QString& name)
{
    int index = fontTable_.indexOf(name);
    if (index < 0) {
        fontTable_.append(name);
        index = int(fontTable_.size()) - 1;
    }
    return index;
}

void TDBGridExExportAsRTF::ExportToStream(TStream& stream, bool saveAll)
{
    body_ = std::make_unique<TMemoryStream>();
    colorTable_.clear();
    fontTable_.clear();
    ColorIndex(clBlack);
    ColorIndex(clWhite);
    ColorIndex(clBtnFace);
    struct Cleanup {
        TDBGridExExportAsRTF* self;
        ~Cleanup() { self->body_.reset(); }
    } cleanup{this};

    // The body goes first so that every colour and font is known when the header is written.
    if (!RunExport(*body_, saveAll))
        return;
    SetStream(&stream);
    QString header = QStringLiteral("{\\rtf0\\ansi\\ansicpg1251\r\n{\\colortbl");
    for (const QString& key : colorTable_)
        header += QStringLiteral("\\red%1\\green%2\\blue%3;")
                      .arg(key.mid(0, 3).trimmed(), key.mid(3, 3).trimmed(), key.mid(6, 3).trimmed());
    header += QStringLiteral("}\r\n{\\fonttbl");
    for (int i = 0; i < fontTable_.size(); ++i)
        header += QStringLiteral("\\f%1\\fnil\\fcharset204 %2;").arg(i).arg(fontTable_[i]);
    header += QStringLiteral("}\r\n");
    WriteText(header);
    stream.CopyFrom(*body_, 0);
}

void TDBGridExExportAsRTF::WriteSuffix() { Write(QByteArrayLiteral("}")); }

QString TDBGridExExportAsRTF::CellRunText(const TFont& font, TColor background, const QString& text)
{
    QString s = QStringLiteral("\\fs%1").arg(font.Size() * 2);
    const TFontStyles style = font.Style();
    if (style.Contains(fsBold))
        s += QStringLiteral("\\b");
    if (style.Contains(fsItalic))
        s += QStringLiteral("\\i");
    if (style.Contains(fsStrikeOut))
        s += QStringLiteral("\\strike");
    if (style.Contains(fsUnderline))
        s += QStringLiteral("\\ul");
    s += QStringLiteral("\\f%1\\cf%2\\cb%3 ")
             .arg(FontIndex(font.Name()))
             .arg(ColorIndex(font.Color()))
             .arg(ColorIndex(background));
    return s + RtfEscaped(text);
}

QString TDBGridExExportAsRTF::Spacing() const
{
    return Grid().Flat() ? QStringLiteral("\\sb12\\sa12") : QStringLiteral("\\sb24\\sa24");
}

void TDBGridExExportAsRTF::WriteRow(const std::vector<TRtfCell>& cells, const TColumnsExList& columns,
                                    const QString& spacing)
{
    static const char* const kBorders[4] = {"l", "t", "b", "r"};
    QString s = QStringLiteral("\\trowd\\trgaph40\r\n");
    int x = 0;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        for (int b = 0; b < 4; ++b)
            if (cells[i].Borders[b])
                s += QStringLiteral("\\clbrdr%1\\brdrs\\brdrcf0\r\n").arg(QLatin1String(kBorders[b]));
        x += TwipsOf(std::max(0, columns[int(i)]->Width()));
        s += QStringLiteral("\\clshdng10000\\clcfpat%1\\cellx%2\r\n").arg(ColorIndex(cells[i].Background)).arg(x);
    }
    s += QStringLiteral("{\\trrh0\r\n");
    for (const TRtfCell& cell : cells)
        s += QStringLiteral("\\pard\\intbl{") + AlignmentWord(cell.Alignment) + spacing +
             CellRunText(cell.Font, cell.Background, cell.Text) + QStringLiteral("\\cell}\r\n");
    s += QStringLiteral("\\pard\\intbl\\row}\r\n");
    WriteText(s);
}

void TDBGridExExportAsRTF::WriteRecord(const TColumnsExList& columns)
{
    std::vector<TRtfCell> cells(static_cast<std::size_t>(columns.Count()));
    for (int i = 0; i < columns.Count(); ++i) {
        PrepareCellParams(*columns[i], CellParams());
        TRtfCell& cell = cells[std::size_t(i)];
        cell.Text = CellParams().Text;
        cell.Font.Assign(CellParams().Font);
        cell.Background = CellParams().Background;
        cell.Alignment = CellParams().Alignment;
    }
    WriteRow(cells, columns, Spacing());
}

void TDBGridExExportAsRTF::WriteFooter(const TColumnsExList& columns, int footerRow)
{
    std::vector<TRtfCell> cells(static_cast<std::size_t>(columns.Count()));
    for (int i = 0; i < columns.Count(); ++i) {
        const TFooterCell footer = PrepareFooterCell(*columns[i], i, footerRow);
        TRtfCell& cell = cells[std::size_t(i)];
        cell.Text = footer.Text;
        cell.Font.Assign(footer.Font);
        cell.Background = footer.Background;
        cell.Alignment = footer.Alignment;
    }
    WriteRow(cells, columns, Spacing());
}

void TDBGridExExportAsRTF::WriteTitle(const TColumnsExList& columns)
{
    if (Grid().UseMultiTitle() && WriteMultiTitle(columns))
        return;
    std::vector<TRtfCell> cells(static_cast<std::size_t>(columns.Count()));
    for (int i = 0; i < columns.Count(); ++i) {
        const TColumnTitleEx& title = columns[i]->Title();
        TRtfCell& cell = cells[std::size_t(i)];
        cell.Text = title.Caption();
        cell.Font.Assign(title.Font());
        cell.Background = title.Color();
        cell.Alignment = title.Alignment();
    }
    WriteRow(cells, columns, Spacing());
}

bool TDBGridExExportAsRTF::WriteMultiTitle(const TColumnsExList& columns)
{
    TCustomDBGridEx& grid = Grid();
    const int n = columns.Count();
    if (n == 0)
        return false;
    std::vector<THeadTreeNode*> current(std::size_t(n), nullptr);
    std::vector<THeadTreeNode*> shown(std::size_t(n), nullptr);
    std::vector<long long> height(std::size_t(n), 0);
    for (int i = 0; i < n; ++i) {
        THeadTreeNode* leaf = grid.LeafOf(columns[i]->Index());
        if (!leaf)
            return false;
        current[std::size_t(i)] = shown[std::size_t(i)] = leaf;
        height[std::size_t(i)] = leaf->Height;
    }
    auto isRoot = [](const THeadTreeNode* node) { return node->Host == nullptr; };

    // Cut the columns' chains into levels: every column climbs when its accumulated height is
    // the smallest, so that bands of equal height land on one level. A column that already
    // reached the root keeps showing its topmost node, which then spans the levels above it.
    std::vector<std::vector<THeadTreeNode*>> levels;
    for (;;) {
        long long smallest = 0;
        bool any = false;
        for (int i = 0; i < n; ++i) {
            if (isRoot(current[std::size_t(i)]))
                continue;
            if (!any || height[std::size_t(i)] < smallest)
                smallest = height[std::size_t(i)];
            any = true;
        }
        if (!any)
            break;
        levels.push_back(shown);
        for (int i = 0; i < n; ++i) {
            THeadTreeNode*& node = current[std::size_t(i)];
            if (isRoot(node) || height[std::size_t(i)] != smallest)
                continue;
            node = node->Host;
            height[std::size_t(i)] += node->Height;
            if (!isRoot(node))
                shown[std::size_t(i)] = node;
        }
    }
    if (levels.empty())
        return false;

    const QString spacing = QStringLiteral("\\sb%1\\sa%1")
                                .arg(std::llabs(RoundHalfEvenInt64(grid.VTitleMargin() / 2.0 / kPixelsPerInch * 1440.0 - 20.0)));
    std::vector<const THeadTreeNode*> captioned;
    const int top = int(levels.size()) - 1;
    for (int level = top; level >= 0; --level) {
        const std::vector<THeadTreeNode*>& row = levels[std::size_t(level)];
        std::vector<TRtfCell> cells(static_cast<std::size_t>(n));
        for (int i = 0; i < n; ++i) {
            const THeadTreeNode* node = row[std::size_t(i)];
            TRtfCell& cell = cells[std::size_t(i)];
            cell.Alignment = taCenter;
            if (level == 0) {
                cell.Font.Assign(columns[i]->Title().Font());
                cell.Background = columns[i]->Title().Color();
            } else {
                cell.Font.Assign(grid.TitleFont());
                cell.Background = grid.FixedColor();
            }
            cell.Borders[0] = i == 0 || row[std::size_t(i - 1)] != node;
            cell.Borders[1] = level == top || levels[std::size_t(level + 1)][std::size_t(i)] != node;
            cell.Borders[2] = level == 0 || levels[std::size_t(level - 1)][std::size_t(i)] != node;
            cell.Borders[3] = i == n - 1 || row[std::size_t(i + 1)] != node;
            // A merged block shows its caption once, in its first (top-left) cell.
            if (std::find(captioned.begin(), captioned.end(), node) == captioned.end()) {
                captioned.push_back(node);
                cell.Text = node->Text;
            }
        }
        WriteRow(cells, columns, spacing);
    }
    return true;
}

// ---- GRIDREC ------------------------------------------------------------------------------------

namespace {

enum : std::uint8_t { tagEnd = 0, tagNone = 1, tagNull = 2, tagInteger = 3, tagFloat = 4, tagText = 5, tagBinary = 6 };

// Version 1 held texts in code page 1251, which loses every character outside it; version 2
// holds them in UTF-8. Only this program reads the format, and it still reads version 1.
constexpr char kGridRecVersion = 2;

QByteArray Int32Bytes(std::int32_t value)
{
    QByteArray bytes(4, '\0');
    qToLittleEndian(value, bytes.data());
    return bytes;
}

QByteArray TaggedValue(TField* field)
{
    QByteArray out;
    if (field && field->Lookup())
        field = field->DataSet() ? field->DataSet()->FindField(field->KeyFields()) : nullptr;
    if (!field)
        return QByteArray(1, char(tagNone));
    const TFieldType type = field->DataType();
    switch (type) {
    case ftUnknown:
    case ftCursor:
    case ftADT:
    case ftArray:
    case ftReference:
    case ftDataSet:
    case ftVariant:
    case ftInterface:
    case ftIDispatch: return QByteArray(1, char(tagNone));
    default: break;
    }
    if (field->IsNull())
        return QByteArray(1, char(tagNull));
    switch (type) {
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftAutoInc:
        out.append(char(tagInteger));
        out.append(Int32Bytes(field->AsInteger()));
        return out;
    case ftBCD: {
        // As exact text: a double holds only about 15 of the 19 digits a Currency value has.
        const QByteArray text = field->AsCurrency().ToString(InvariantFormatSettings()).toUtf8();
        out.append(char(tagText));
        out.append(Int32Bytes(std::int32_t(text.size())));
        out.append(text);
        return out;
    }
    case ftFloat:
    case ftCurrency:
    case ftDate:
    case ftTime:
    case ftDateTime: {
        out.append(char(tagFloat));
        QByteArray bytes(8, '\0');
        qToLittleEndian(field->AsFloat(), bytes.data());
        out.append(bytes);
        return out;
    }
    case ftString:
    case ftBoolean:
    case ftMemo:
    case ftFixedChar:
    case ftLargeint:
    case ftOraClob:
    case ftGuid: {
        const QByteArray text = field->AsString().toUtf8();
        out.append(char(tagText));
        out.append(Int32Bytes(std::int32_t(text.size())));
        out.append(text);
        return out;
    }
    default: {
        const QByteArray bytes = IsBinaryKind(type) ? field->AsBytes() : field->AsString().toUtf8();
        out.append(char(tagBinary));
        out.append(Int32Bytes(std::int32_t(bytes.size())));
        out.append(bytes);
        return out;
    }
    }
}

} // namespace

namespace {

// A record-format value for a Currency field: text written by us is invariant, text from
// elsewhere may follow the field's settings; a double next to the range's edge (where a double
// cannot hold the last digits) is taken as the edge.
Currency RecordCurrency(const Variant& value, const TFormatSettings& fs)
{
    if (value.Type() == varString) {
        Currency c;
        if (Currency::TryFromString(value.AsString(), InvariantFormatSettings(), c))
            return c;
        return Currency::FromString(value.AsString(), fs);
    }
    if (value.Type() == varDouble) {
        constexpr double kLast = 922337203685477.5807;
        const double d = value.AsDouble(fs);
        if (d >= kLast && d <= std::nextafter(kLast, HUGE_VAL))
            return Currency::FromRaw(std::numeric_limits<std::int64_t>::max());
        if (d <= -kLast && d >= std::nextafter(-kLast, -HUGE_VAL))
            return Currency::FromRaw(std::numeric_limits<std::int64_t>::min());
    }
    return value.AsCurrency(fs);
}

} // namespace

void TDBGridExExportAsGRIDREC::WritePrefix()
{
    QByteArray header("GRIDREC");
    header.append(kGridRecVersion);
    header.append(Int32Bytes(ExportColumns().Count()));
    for (const TColumnEx* column : ExportColumns().List()) {
        header.append(char(column->Visible() ? 1 : 0));
        header.append('\0');
    }
    Write(header);
}

void TDBGridExExportAsGRIDREC::WriteSuffix() { Write(QByteArray(1, char(tagEnd))); }

void TDBGridExExportAsGRIDREC::WriteTitle(const TColumnsExList& /*columns*/) {}

void TDBGridExExportAsGRIDREC::WriteRecord(const TColumnsExList& columns)
{
    QByteArray out;
    for (TColumnEx* column : columns.List())
        out.append(TaggedValue(column->Field()));
    Write(out);
}

void TDBGridExExportAsGRIDREC::WriteFooter(const TColumnsExList& /*columns*/, int /*footerRow*/) {}

// ---- TDBGridExImport ----------------------------------------------------------------------------

TCustomDBGridEx& TDBGridExImport::Grid() const
{
    if (!grid_)
        throw Exception(QStringLiteral("TDBGridExImport: no grid"));
    return *grid_;
}

TField* TDBGridExImport::EditableTargetField(TColumnEx& column) { return EditTarget(column); }

template <class F>
void TDBGridExImport::AssignValue(F&& assign)
{
    try {
        assign();
    } catch (const EAbort&) {
        throw;
    } catch (const std::exception&) {
        if (ignoreAllErrors_)
            return;
        const QString text = QStringLiteral("Error during insert value:\n") + ExceptionText(std::current_exception()) +
                             QStringLiteral("\n\nIgnore error?");
        const MsgButton answer = MessageBox(QStringLiteral("Error"), text, MsgIcon::Error, mbYes | mbNo | mbAll, mbYes);
        if (answer == mbAll)
            ignoreAllErrors_ = true;
        else if (answer != mbYes)
            Abort();
    }
}

void TDBGridExImport::ReadRecord(const TColumnsExList& columns)
{
    for (TColumnEx* column : columns.List())
        ReadDataCell(column);
}

void TDBGridExImport::ReadDataCell(TColumnEx* /*column*/) {}

void TDBGridExImport::ImportFromFile(const QString& fileName, bool loadAll)
{
    TFileStream file(fileName, fmOpenRead | fmShareDenyWrite);
    ImportFromStream(file, loadAll);
}

void TDBGridExImport::AppendRecords(const TColumnsExList& columns, bool inserting)
{
    TDataSet& ds = *Grid().DataSet();
    bool first = true;
    while (!eof_) {
        if (inserting && first && ds.State() == dsInsert) {
            // The first record goes into the record being inserted.
        } else if (inserting && ds.MoveBy(1) != 0) {
            // Further records are inserted behind it rather than written over the records that
            // follow.
            ds.Insert();
        } else {
            ds.Append();
        }
        first = false;
        ReadRecord(columns);
        if (InEditState(ds))
            ds.Post();
    }
}

void TDBGridExImport::ImportFromStream(TStream& stream, bool loadAll)
{
    stream_ = &stream;
    eof_ = false;
    TCustomDBGridEx& grid = Grid();
    TDataSet* ds = grid.DataSet();
    if (!ds || !grid.DataLink().Active())
        return;
    if (loadAll) {
        grid.Selection().Clear();
        ds->First();
        if (grid.VisibleColumns().Count() > 0)
            grid.SetSelectedIndex(grid.VisibleColumns()[0]->Index());
    }

    const bool inserting = ds->State() == dsInsert;
    const TSavedPosition position(inserting ? nullptr : ds);
    TControlsLock lock(ds);

    TColumnsExList columns;
    const TDBGridExSelectionType kind = grid.Selection().SelectionType();
    switch (kind) {
    case gstNon: {
        const TColumnsExList& visible = grid.VisibleColumns();
        const int start = std::max(0, visible.IndexOf(grid.SelectedColumn()));
        for (int i = start; i < visible.Count(); ++i)
            columns.Add(visible[i]);
        break;
    }
    case gstRectangle: {
        TDBGridExSelectionRect& rect = grid.Selection().Rect();
        columns = VisibleColumnsBetween(grid, rect.LeftCol(), rect.RightCol());
        break;
    }
    case gstColumns: columns = CopyOf(grid.Selection().Columns()); break;
    default: columns = CopyOf(grid.VisibleColumns()); break;
    }

    ReadPrefix();
    if (inserting) {
        AppendRecords(columns, true);
    } else {
        switch (kind) {
        case gstNon:
            position.Restore();
            while (!ds->Eof() && !eof_) {
                ReadRecord(columns);
                ds->Next();
            }
            if (!eof_ && grid.AllowedOperations().Contains(alopAppendEx))
                AppendRecords(columns, false);
            break;
        case gstRecordBookmarks: {
            const std::vector<TBookmark> marks = grid.SelectedRows().List();
            for (const TBookmark& b : marks) {
                if (eof_)
                    break;
                if (!ds->BookmarkValid(b))
                    continue;
                ds->GotoBookmark(b);
                ReadRecord(columns);
            }
            break;
        }
        case gstRectangle:
            ForEachRectRecord(*ds, grid.Selection().Rect(), [&] {
                if (eof_)
                    return false;
                ReadRecord(columns);
                return true;
            });
            break;
        default:
            ds->First();
            while (!ds->Eof() && !eof_) {
                ReadRecord(columns);
                ds->Next();
            }
            break;
        }
        position.Restore();
    }
    lock.Release();
    ReadSuffix();
}

// ---- Text import --------------------------------------------------------------------------------

void TDBGridExImportAsText::ImportFromStream(TStream& stream, bool loadAll)
{
    ignoreAllErrors_ = false;
    TDBGridExImport::ImportFromStream(stream, loadAll);
}

bool TDBGridExImportAsText::ReadUnit(QChar& ch)
{
    // A zero ends the text, as the terminator of clipboard text does.
    if (unicode_) {
        char bytes[2];
        if (Stream().Read(bytes, 2) != 2)
            return false;
        ch = QChar(char16_t(std::uint8_t(bytes[0]) | (std::uint8_t(bytes[1]) << 8)));
    } else {
        char byte = 0;
        if (Stream().Read(&byte, 1) != 1)
            return false;
        ch = QChar(Cp1251ToUnicode(std::uint8_t(byte)));
    }
    return !ch.isNull();
}

void TDBGridExImportAsText::ReadChar()
{
    QChar ch;
    if (!ReadUnit(ch)) {
        ch_ = QChar();
        state_ = rsEnd;
        eof_ = true;
        return;
    }
    ch_ = ch;
    if (ch == QLatin1Char('\t')) {
        state_ = rsTab;
    } else if (ch == QLatin1Char('\r')) {
        QChar next;
        if (!ReadUnit(next) || next != QLatin1Char('\n'))
            throw Exception(QStringLiteral("TDBGridExImportAsText.CheckState: Invalid text format"));
        state_ = rsLineEnd;
    } else {
        state_ = rsChar;
    }
}

bool TDBGridExImportAsText::ReadQuoted(QString& value)
{
    const std::int64_t start = Stream().Position();
    QString text;
    QChar ch;
    while (ReadUnit(ch)) {
        if (ch != QLatin1Char('"')) {
            text.append(ch);
            continue;
        }
        const std::int64_t afterQuote = Stream().Position();
        QChar next;
        if (ReadUnit(next) && next == QLatin1Char('"')) {
            text.append(ch);
            continue;
        }
        // The closing quote: what follows it is read the ordinary way.
        Stream().SetPosition(afterQuote);
        value = text;
        ReadChar();
        return true;
    }
    Stream().SetPosition(start);
    return false;
}

void TDBGridExImportAsText::ReadPrefix() { ReadChar(); }

void TDBGridExImportAsText::ReadRecord(const TColumnsExList& columns)
{
    if (eof_)
        return;
    int target = 0;
    for (;;) {
        QString text;
        if (!(state_ == rsChar && ch_ == QLatin1Char('"') && ReadQuoted(text)))
            text.clear();
        while (state_ == rsChar) {
            text.append(ch_);
            ReadChar();
        }
        const TReadState stop = state_;
        value_ = text;
        if (target < columns.Count())
            ReadDataCell(columns[target]);
        ++target;
        if (stop == rsTab) {
            ReadChar();
            continue;
        }
        if (stop == rsLineEnd)
            ReadChar();
        break;
    }
}

void TDBGridExImportAsText::ReadDataCell(TColumnEx* column)
{
    if (!column)
        return;
    AssignValue([&] {
        TField* target = EditableTargetField(*column);
        if (!target)
            return;
        TField* shown = column->Field();
        if (shown && shown->Lookup()) {
            TDataSet* list = shown->LookupDataSet();
            if (list && list->Active() &&
                list->Locate(shown->LookupResultField(), Variant(value_), loCaseInsensitive | loPartialKey))
                target->SetValue(list->FieldValues(shown->LookupKeyFields()));
            return;
        }
        if (column->GetColumnType() == ctKeyPickList) {
            const int index = column->PickList().IndexOf(value_);
            if (index < 0 || index >= column->KeyList().Count())
                target->Clear();
            else
                target->SetText(column->KeyList().Strings(index));
            return;
        }
        target->SetText(value_);
    });
}

// ---- GRIDREC import -----------------------------------------------------------------------------

void TDBGridExImportAsGRIDREC::FormatError()
{
    throw Exception(QStringLiteral("TDBGridExImportAsGRIDREC.ReadPrefix: Invalid GRIDREC format"));
}

QString TDBGridExImportAsGRIDREC::DecodeText(const QByteArray& bytes) const
{
    return header_.size() > 7 && header_[7] == kGridRecVersion ? QString::fromUtf8(bytes) : FromCp1251(bytes);
}

void TDBGridExImportAsGRIDREC::ReadExact(void* buffer, std::int64_t count)
{
    if (count < 0 || Stream().Read(buffer, count) != count)
        FormatError();
}

void TDBGridExImportAsGRIDREC::ImportFromStream(TStream& stream, bool loadAll)
{
    ignoreAllErrors_ = false;
    hasFieldNames_ = false;
    dataColumns_.clear();
    dataVisible_.clear();
    value_ = Variant();
    TDBGridExImport::ImportFromStream(stream, loadAll);
}

void TDBGridExImportAsGRIDREC::ReadPrefix()
{
    header_ = QByteArray(12, '\0');
    ReadExact(header_.data(), 12);
    if (!header_.startsWith("GRIDREC"))
        FormatError();
    const std::int32_t count = qFromLittleEndian<std::int32_t>(header_.constData() + 8);
    if (count < 0)
        FormatError();
    for (std::int32_t i = 0; i < count; ++i) {
        char visible = 0;
        ReadExact(&visible, 1);
        QByteArray name;
        for (char ch = 0;;) {
            ReadExact(&ch, 1);
            if (ch == '\0')
                break;
            name.append(ch);
        }
        if (!name.isEmpty())
            hasFieldNames_ = true;
        dataColumns_.append(DecodeText(name));
        dataVisible_.push_back(visible != 0);
    }
    ReadAhead();
    // Values without columns could never be taken.
    if (count == 0 && !eof_)
        FormatError();
}

void TDBGridExImportAsGRIDREC::ReadAhead()
{
    if (eof_)
        return;
    std::uint8_t tag = 0;
    ReadExact(&tag, 1);
    value_ = Variant();
    switch (tag) {
    case tagEnd: eof_ = true; break;
    case tagNone: break;
    case tagNull: value_ = Variant::Null(); break;
    case tagInteger: {
        char bytes[4];
        ReadExact(bytes, 4);
        value_ = Variant(int(qFromLittleEndian<std::int32_t>(bytes)));
        break;
    }
    case tagFloat: {
        char bytes[8];
        ReadExact(bytes, 8);
        value_ = Variant(qFromLittleEndian<double>(bytes));
        break;
    }
    case tagText:
    case tagBinary: {
        char lengthBytes[4];
        ReadExact(lengthBytes, 4);
        const std::int32_t length = qFromLittleEndian<std::int32_t>(lengthBytes);
        // A length beyond the data is a broken stream, not a reason to allocate it.
        if (length < 0 || length > Stream().Size() - Stream().Position())
            FormatError();
        QByteArray bytes(length, '\0');
        ReadExact(bytes.data(), length);
        if (tag == tagText)
            value_ = Variant(DecodeText(bytes));
        else
            value_ = Variant(bytes);
        break;
    }
    default: break;
    }
}

void TDBGridExImportAsGRIDREC::ReadRecord(const TColumnsExList& columns)
{
    if (eof_)
        return;
    for (int i = 0; i < dataColumns_.size(); ++i)
        ReadDataCell(i < columns.Count() ? columns[i] : nullptr);
}

void TDBGridExImportAsGRIDREC::ReadDataCell(TColumnEx* column)
{
    if (column && !value_.IsEmpty()) {
        AssignValue([&] {
            TField* target = EditableTargetField(*column);
            if (!target)
                return;
            if (value_.Type() == varBytes && !IsBinaryKind(target->DataType()))
                target->SetValue(Variant(DecodeText(value_.AsBytes())));
            else if (target->DataType() == ftBCD && !value_.IsNull())
                target->SetValue(Variant(RecordCurrency(value_, SettingsOf(target->DataSet()))));
            else
                target->SetValue(value_);
        });
    }
    ReadAhead();
}

// ---- Clipboard actions --------------------------------------------------------------------------

void DBGridExCopyToClipboard(TCustomDBGridEx& grid, bool saveAll)
{
    TClipboardScope clipboard;
    TControlsLock lock(grid.DataSet());
    TMemoryStream stream;
    const QByteArray zero(1, '\0');

    DBGridExExportToStream<TDBGridExExportAsText>(grid, stream, saveAll);
    stream.WriteBuffer(zero);
    ClipboardPutStream(CF_TEXT, stream);
    stream.Clear();

    // The Unicode copy is made from the texts themselves, so that characters the code page
    // lacks survive.
    {
        TDBGridExExportAsText unicode;
        unicode.SetDBGridEx(&grid);
        unicode.SetUnicode(true);
        unicode.ExportToStream(stream, saveAll);
    }
    stream.WriteBuffer(QByteArray(2, '\0'));
    ClipboardPutStream(CF_UNICODETEXT, stream);
    stream.Clear();

    DBGridExExportToStream<TDBGridExExportAsCSV>(grid, stream, saveAll);
    stream.WriteBuffer(zero);
    ClipboardPutStream(CF_CSV(), stream);
    stream.Clear();
    // The standard CSV type, too, is made from the texts themselves.
    {
        TDBGridExExportAsCSV unicode;
        unicode.SetDBGridEx(&grid);
        unicode.SetUnicode(true);
        unicode.ExportToStream(stream, saveAll);
    }
    PutStandardCsv(FromUtf16(WholeStream(stream)));
    stream.Clear();

    DBGridExExportToStream<TDBGridExExportAsRTF>(grid, stream, saveAll);
    stream.WriteBuffer(zero);
    ClipboardPutStream(CF_RICHTEXT(), stream);
    stream.Clear();

    DBGridExExportToStream<TDBGridExExportAsGRIDREC>(grid, stream, saveAll);
    ClipboardPutStream(CF_GRIDREC(), stream);
    stream.Clear();
    lock.Release();
}

void DBGridExCutToClipboard(TCustomDBGridEx& grid, bool saveAll)
{
    DBGridExCopyToClipboard(grid, saveAll);
    DBGridExDeleteSelection(grid, saveAll);
}

void DBGridExPasteFromClipboard(TCustomDBGridEx& grid, bool loadAll)
{
    TClipboardScope clipboard;
    TMemoryStream stream;
    if (ClipboardHasFormat(CF_GRIDREC())) {
        ClipboardGetStream(CF_GRIDREC(), stream);
        // A copy of nothing leaves an empty block: it pastes nothing.
        if (stream.Size() == 0)
            return;
        stream.SetPosition(0);
        DBGridExImportFromStream<TDBGridExImportAsGRIDREC>(grid, stream, loadAll);
    } else if (ClipboardHasFormat(CF_UNICODETEXT)) {
        ClipboardGetStream(CF_UNICODETEXT, stream);
        stream.SetPosition(0);
        TDBGridExImportAsText importer;
        importer.SetDBGridEx(&grid);
        importer.SetUnicode(true);
        importer.ImportFromStream(stream, loadAll);
    }
}

namespace {

void ClearCells(const TColumnsExList& columns)
{
    for (TColumnEx* column : columns.List())
        if (TField* field = EditTarget(*column))
            field->Clear();
}

} // namespace

void DBGridExDeleteSelection(TCustomDBGridEx& grid, bool all)
{
    const TDBGridExSelectionType kind = all ? gstAll : grid.Selection().SelectionType();
    TDataSet* ds = grid.DataSet();
    if (kind == gstNon || !grid.DataSource() || !ds)
        return;
    if (grid.Options().Contains(dgConfirmDelete)) {
        QString question;
        if (kind == gstRecordBookmarks)
            question = grid.SelectedRows().Count() < 2 ? QStringLiteral("Delete record?")
                                                        : QStringLiteral("Delete all selected records?");
        else if (kind == gstRectangle)
            question = QStringLiteral("Clear selected cells?");
        if (!question.isEmpty() &&
            MessageBox(ApplicationTitle(), question, MsgIcon::Question, mbOKCancel, mbCancel) != mbOK)
            return;
    }

    const TSavedPosition position(ds);
    TControlsLock lock(ds);
    switch (kind) {
    case gstRecordBookmarks: grid.SelectedRows().Delete(); break;
    case gstRectangle: {
        TDBGridExSelectionRect& rect = grid.Selection().Rect();
        const TColumnsExList columns = VisibleColumnsBetween(grid, rect.LeftCol(), rect.RightCol());
        ForEachRectRecord(*ds, rect, [&] {
            ClearCells(columns);
            return true;
        });
        position.Restore();
        break;
    }
    case gstColumns: {
        const TColumnsExList columns = CopyOf(grid.Selection().Columns());
        ds->First();
        while (!ds->Eof()) {
            ClearCells(columns);
            ds->Next();
        }
        position.Restore();
        break;
    }
    default: {
        ds->First();
        while (!ds->IsEmpty()) {
            const int before = ds->RecordCount();
            ds->Delete();
            // A dataset that refuses to lose the record would keep this loop going for ever.
            if (ds->RecordCount() >= before)
                break;
        }
        break;
    }
    }
    lock.Release();
}

// ---- Start-up -----------------------------------------------------------------------------------

void InitDBGridExImpExp()
{
    CF_GRIDREC();
    CF_CSV();
    CF_RICHTEXT();
    TDBGridExEditHooks& hooks = DBGridExEditHooks();
    hooks.CopyToClipboard = [](TCustomDBGridEx& grid) { DBGridExCopyToClipboard(grid, false); };
    hooks.CutToClipboard = [](TCustomDBGridEx& grid) { DBGridExCutToClipboard(grid, false); };
    hooks.PasteFromClipboard = [](TCustomDBGridEx& grid) { DBGridExPasteFromClipboard(grid, false); };
    hooks.DeleteSelection = [](TCustomDBGridEx& grid) { DBGridExDeleteSelection(grid, false); };
    hooks.ClipboardHasData = [] { return ClipboardHasFormat(CF_GRIDREC()) || ClipboardHasFormat(CF_TEXT); };
}

namespace {
[[maybe_unused]] const bool kImpExpInitialized = (InitDBGridExImpExp(), true);
} // namespace
