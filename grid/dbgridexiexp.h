// Export of a grid's records (its selection, or everything) as tab-separated text, CSV, an RTF
// table or the typed record format "GRIDREC"; import of text and "GRIDREC" back into the grid's
// dataset; and the grid's clipboard actions (copy, cut, paste, delete the selection).
//
// The clipboard keeps the classic format numbers: CF_TEXT and CF_UNICODETEXT travel as
// text/plain, the formats registered by name ("GRIDREC", "Csv", "Rich Text Format") under MIME
// types of our own; CSV and RTF also go out under the standard types (text/csv; text/rtf and
// application/rtf) so that spreadsheets and word processors see them. Our own byte formats keep
// code page 1251; the standard text types carry UTF-8, and "GRIDREC" (version 2) holds its texts
// in UTF-8 so that a copy between grids keeps every character (version 1 is still read).
//
// Text cells that hold a TAB, a line break or start with a double quote are written quoted (in
// double quotes, quotes inside doubled) and read back as one cell.
#pragma once

#include "grid/dbgridex.h"

#include "platform/streams.h"
#include "platform/variant.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

// ---- Clipboard ----------------------------------------------------------------------------------

using TClipboardFormat = unsigned;
constexpr TClipboardFormat CF_TEXT = 1;
constexpr TClipboardFormat CF_UNICODETEXT = 13;

// A number for a format name, the same for the whole run (registered names count from 0xC000).
TClipboardFormat RegisterClipboardFormat(const QString& name);
// The MIME type a format travels under; empty for an unknown number.
QString ClipboardFormatMimeType(TClipboardFormat format);

// The three formats of the grid, registered on first use.
TClipboardFormat CF_GRIDREC();
TClipboardFormat CF_CSV();
TClipboardFormat CF_RICHTEXT();

// Holds the clipboard open: puts made while it is held go out together when the outermost holder
// closes, and the first put empties what was there before.
class TClipboardScope {
public:
    TClipboardScope();
    ~TClipboardScope();
    TClipboardScope(const TClipboardScope&) = delete;
    TClipboardScope& operator=(const TClipboardScope&) = delete;
};

// Puts the stream's whole content under the format. Text formats take 8-bit text (code page
// 1251) or UTF-16 up to its terminating zero.
void ClipboardPutStream(TClipboardFormat format, TStream& stream);
// Appends the clipboard's data of the format to the stream (nothing when there is none). Text
// comes with a terminating zero, and with CR LF line ends whatever the source used.
void ClipboardGetStream(TClipboardFormat format, TStream& stream);
// Puts 8-bit text with its terminating zero as Unicode text.
void ClipboardPutUnicodeText(TStream& stream);
bool ClipboardHasFormat(TClipboardFormat format);

// ---- Export -------------------------------------------------------------------------------------

class TDBGridExExport {
public:
    TDBGridExExport();
    virtual ~TDBGridExExport();
    TDBGridExExport(const TDBGridExExport&) = delete;
    TDBGridExExport& operator=(const TDBGridExExport&) = delete;

    TCustomDBGridEx* DBGridEx() const { return grid_; }
    void SetDBGridEx(TCustomDBGridEx* grid) { grid_ = grid; }

    // saveAll: every record and visible column; otherwise the grid's selection (nothing at all
    // without one).
    virtual void ExportToStream(TStream& stream, bool saveAll);
    // Creates (replaces) the file.
    virtual void ExportToFile(const QString& fileName, bool saveAll);

protected:
    virtual void WritePrefix() {}
    virtual void WriteSuffix() {}
    virtual void WriteTitle(const TColumnsExList& columns);
    virtual void WriteRecord(const TColumnsExList& columns);
    virtual void WriteDataCell(TColumnEx& column, TColCellParamsEx& params);
    virtual void WriteFooter(const TColumnsExList& columns, int footerRow);
    virtual void WriteFooterCell(int dataCol, int footerRow, const QString& text, TAlignment alignment,
                                 TColor background, const TFont& font, TColumnEx& column);

    // What a footer cell shows in this export.
    struct TFooterCell {
        TFont Font;
        TColor Background = clWindow;
        TAlignment Alignment = taLeftJustify;
        QString Text;
    };
    // The cell parameters of a column for the current record, after the grid's and the column's
    // handlers.
    void PrepareCellParams(TColumnEx& column, TColCellParamsEx& params);
    TFooterCell PrepareFooterCell(TColumnEx& column, int columnPos, int footerRow);

    // The common walk; false when there was nothing to export (no output at all then).
    bool RunExport(TStream& stream, bool saveAll);

    TStream& Stream() const { return *stream_; }
    void SetStream(TStream* stream) { stream_ = stream; }
    void Write(const QByteArray& bytes);
    // Writes the text in code page 1251.
    void WriteText(const QString& text);
    TCustomDBGridEx& Grid() const;
    const TColumnsExList& ExportColumns() const { return columns_; }
    TColCellParamsEx& CellParams() { return *cellParams_; }
    // Text goes out as UTF-16 (little-endian) instead of code page 1251.
    bool unicodeText_ = false;

private:
    void Accumulate();
    QString AccumulatedText(TColumnEx& column, int columnPos, int footerRow) const;

    std::unique_ptr<TColCellParamsEx> cellParams_;
    TCustomDBGridEx* grid_ = nullptr;
    TColumnsExList columns_;
    TStream* stream_ = nullptr;
    std::vector<Currency> footerValues_;
    // A total that went beyond Currency.
    std::vector<bool> footerOverflow_;
};

class TDBGridExExportAsText : public TDBGridExExport {
public:
    void ExportToStream(TStream& stream, bool saveAll) override;
    // UTF-16 text for the Unicode copy on the clipboard.
    void SetUnicode(bool unicode) { unicodeText_ = unicode; }

protected:
    void WriteTitle(const TColumnsExList& columns) override;
    void WriteRecord(const TColumnsExList& columns) override;
    void WriteDataCell(TColumnEx& column, TColCellParamsEx& params) override;
    void WriteFooter(const TColumnsExList& columns, int footerRow) override;
    void WriteFooterCell(int dataCol, int footerRow, const QString& text, TAlignment alignment,
                         TColor background, const TFont& font, TColumnEx& column) override;
    virtual void WriteLineBreak();
    virtual void WriteCellSeparator();
    // How a caption or cell text goes out.
    virtual QString CellText(const QString& text) const;

    bool firstLine_ = true;
    bool firstCell_ = true;
};

class TDBGridExExportAsCSV : public TDBGridExExportAsText {
public:
    TDBGridExExportAsCSV() = default;
    QChar Separator() const { return separator_; }

protected:
    void WriteCellSeparator() override;
    QString CellText(const QString& text) const override;

private:
    QChar separator_ = QLatin1Char(';');
};

class TDBGridExExportAsRTF : public TDBGridExExport {
public:
    void ExportToStream(TStream& stream, bool saveAll) override;

protected:
    void WriteSuffix() override;
    void WriteTitle(const TColumnsExList& columns) override;
    void WriteRecord(const TColumnsExList& columns) override;
    void WriteFooter(const TColumnsExList& columns, int footerRow) override;

    // Indexes in the colour and font tables (added when new).
    int ColorIndex(TColor color);
    int FontIndex(const QString& name);

private:
    struct TRtfCell {
        QString Text;
        TFont Font;
        TColor Background = clWindow;
        TAlignment Alignment = taLeftJustify;
        // Borders left, top, bottom, right.
        bool Borders[4] = {true, true, true, true};
    };
    // One table row: cell definitions, then the cells with the given paragraph spacing.
    void WriteRow(const std::vector<TRtfCell>& cells, const TColumnsExList& columns, const QString& spacing);
    QString CellRunText(const TFont& font, TColor background, const QString& text);
    QString Spacing() const;
    bool WriteMultiTitle(const TColumnsExList& columns);

    std::unique_ptr<TMemoryStream> body_;
    QStringList colorTable_;
    QStringList fontTable_;
};

class TDBGridExExportAsGRIDREC : public TDBGridExExport {
protected:
    void WritePrefix() override;
    void WriteSuffix() override;
    void WriteTitle(const TColumnsExList& columns) override;
    void WriteRecord(const TColumnsExList& columns) override;
    void WriteFooter(const TColumnsExList& columns, int footerRow) override;
};

// ---- Import -------------------------------------------------------------------------------------

class TDBGridExImport {
public:
    TDBGridExImport() = default;
    virtual ~TDBGridExImport() = default;
    TDBGridExImport(const TDBGridExImport&) = delete;
    TDBGridExImport& operator=(const TDBGridExImport&) = delete;

    TCustomDBGridEx* DBGridEx() const { return grid_; }
    void SetDBGridEx(TCustomDBGridEx* grid) { grid_ = grid; }

    // loadAll: clears the selection and fills the grid from its first record.
    virtual void ImportFromStream(TStream& stream, bool loadAll);
    virtual void ImportFromFile(const QString& fileName, bool loadAll);

protected:
    virtual void ReadPrefix() {}
    virtual void ReadSuffix() {}
    virtual void ReadRecord(const TColumnsExList& columns);
    // column may be null: the value is read and dropped.
    virtual void ReadDataCell(TColumnEx* column);

    TStream& Stream() const { return *stream_; }
    TCustomDBGridEx& Grid() const;
    // The field a column's value goes to (for a lookup field its key field) in edit or insert
    // state; null when the column or its dataset cannot be changed.
    TField* EditableTargetField(TColumnEx& column);
    // Runs a value assignment; an error asks whether to go on (Yes), go on and never ask again
    // (All) or stop the import silently (No).
    template <class F>
    void AssignValue(F&& assign);

    bool eof_ = false;
    bool ignoreAllErrors_ = false;

private:
    void AppendRecords(const TColumnsExList& columns, bool inserting);

    TCustomDBGridEx* grid_ = nullptr;
    TStream* stream_ = nullptr;
};

class TDBGridExImportAsText : public TDBGridExImport {
public:
    void ImportFromStream(TStream& stream, bool loadAll) override;
    // The stream holds UTF-16 (little-endian) text rather than code page 1251.
    void SetUnicode(bool unicode) { unicode_ = unicode; }

protected:
    void ReadPrefix() override;
    void ReadRecord(const TColumnsExList& columns) override;
    void ReadDataCell(TColumnEx* column) override;

private:
    enum TReadState { rsChar = 0, rsTab = 1, rsLineEnd = 2, rsEnd = 3 };
    void ReadChar();
    // One character of the stream's encoding; false at the end of the data or its zero.
    bool ReadUnit(QChar& ch);
    // A quoted cell from its opening quote (the current character); false, with the stream
    // where it was, when the quote never closes.
    bool ReadQuoted(QString& value);

    bool unicode_ = false;
    QChar ch_;
    TReadState state_ = rsEnd;
    QString value_;
};

class TDBGridExImportAsGRIDREC : public TDBGridExImport {
public:
    void ImportFromStream(TStream& stream, bool loadAll) override;

    // Name and visible flag of each column of the data (after the prefix).
    const QStringList& DataColumns() const { return dataColumns_; }
    const std::vector<bool>& DataColumnsVisible() const { return dataVisible_; }
    bool HasFieldNames() const { return hasFieldNames_; }

protected:
    void ReadPrefix() override;
    void ReadRecord(const TColumnsExList& columns) override;
    void ReadDataCell(TColumnEx* column) override;

private:
    void ReadAhead();
    // A text of the data in the encoding of its version.
    QString DecodeText(const QByteArray& bytes) const;
    [[noreturn]] static void FormatError();
    void ReadExact(void* buffer, std::int64_t count);

    QByteArray header_;
    Variant value_;
    QStringList dataColumns_;
    std::vector<bool> dataVisible_;
    bool hasFieldNames_ = false;
};

// ---- Entry points ------------------------------------------------------------------------------

template <class TExport>
void DBGridExExportToStream(TCustomDBGridEx& grid, TStream& stream, bool saveAll)
{
    TExport exporter;
    exporter.SetDBGridEx(&grid);
    exporter.ExportToStream(stream, saveAll);
}

template <class TImport>
void DBGridExImportFromStream(TCustomDBGridEx& grid, TStream& stream, bool loadAll)
{
    TImport importer;
    importer.SetDBGridEx(&grid);
    importer.ImportFromStream(stream, loadAll);
}

void DBGridExCopyToClipboard(TCustomDBGridEx& grid, bool saveAll);
void DBGridExCutToClipboard(TCustomDBGridEx& grid, bool saveAll);
void DBGridExPasteFromClipboard(TCustomDBGridEx& grid, bool loadAll);
void DBGridExDeleteSelection(TCustomDBGridEx& grid, bool all);

// Registers the clipboard formats and plugs the clipboard actions into the grid's keyboard.
// Runs when this unit is linked in; the program calls it once at start-up to be sure of that.
void InitDBGridExImpExp();
