// A small word-processor document over .docx files: open a file (a template), put the cursor at
// a bookmark, type text, move through a table cell by cell (a table grows by one row when the
// cursor moves on from its last cell), save under another name.
//
//     TWordDocument doc;
//     doc.Open(ExeDir() + "docs/protokol.docx");
//     doc.SaveAs(ExeDir() + "docs/temp.docx");
//     doc.GoToBookmark("tab1");
//     doc.TypeText("01.02.2007");
//     doc.MoveRightCell();
//     ...
//     doc.SaveAs(chosenFileName);
//     doc.Close();
//
// The whole package is held in memory while the document is open, so saving over the file that
// was opened is safe. Every failure raises EDocumentError with a text naming what failed.
#pragma once

#include "platform/exceptions.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class EDocumentError : public Exception {
public:
    using Exception::Exception;
};

class TWordDocument {
public:
    TWordDocument();
    ~TWordDocument();
    TWordDocument(const TWordDocument&) = delete;
    TWordDocument& operator=(const TWordDocument&) = delete;

    // Reads a .docx file; a document already open is dropped first. Raises when the file is
    // missing, is no zip package, or has no readable word/document.xml.
    void Open(const QString& fileName);
    bool Active() const;
    // Drops the document without saving. Nothing happens when none is open.
    void Close();
    // The file that was opened or saved last.
    QString FileName() const;

    // Writes the document as it stands; the document stays open and FileName() becomes fileName.
    // The file is written beside the target first and renamed over it, so a failed save leaves
    // an existing file as it was.
    void SaveAs(const QString& fileName);

    // Puts the cursor at the start of the bookmark; a bookmark that spans text selects that text,
    // and the next TypeText replaces it. Raises when the document has no such bookmark.
    void GoToBookmark(const QString& name);
    // Inserts text at the cursor, in the formatting found there; the cursor moves past it.
    // Line breaks become line breaks, tabs tabs; other control characters are dropped.
    void TypeText(const QString& text);
    // Moves the cursor to the next cell of the table it is in (left to right, then the next row)
    // and selects that cell's content, which the next TypeText replaces. From the last cell a
    // new row shaped like the last one is added. Raises when the cursor is not in a table.
    void MoveRightCell();
    // Adds an empty row below the cursor's row, shaped like it; the cursor stays. Raises when
    // the cursor is not in a table.
    void InsertRowBelow();

    // ---- Long tables, written without holding them in memory
    //     doc.GoToBookmark("tab1");
    //     doc.BeginRows();
    //     for (each record) doc.AddRow({date, time, ...});
    //     doc.EndRows();
    // BeginRows makes the cursor's row the pattern: each AddRow writes a row shaped like it,
    // text i into cell i in that cell's formatting (the first row keeps the pattern row's
    // bookmarks), to a scratch file beside the document; the rows take the pattern row's place
    // when the document is saved. One table per document is written this way; the rows are not
    // seen by the reading functions below until the saved file is opened again. After EndRows
    // the cursor must be placed again. Raises when the cursor is not in a table.
    void BeginRows();
    void AddRow(const QStringList& cells);
    void EndRows();

    // ---- Reading (reports are checked with these)
    // The names of all bookmarks, in document order.
    QStringList Bookmarks() const;
    // The cell texts, row by row, of the table that holds the bookmark (empty when the
    // bookmark is not in a table). Raises when there is no such bookmark.
    std::vector<QStringList> TableAtBookmark(const QString& name) const;
    // The text of the paragraph that holds the bookmark. Raises when there is no such bookmark.
    QString ParagraphAtBookmark(const QString& name) const;
    // The document's body text: paragraphs separated by '\n', table cells by '\t'.
    QString Text() const;

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// One member of a zip package (such as "word/document.xml" of a .docx). Raises EDocumentError
// when the file cannot be read or has no such member.
QByteArray ReadZipEntry(const QString& zipFile, const QString& entry);
// The member names of a zip package, in stored order.
QStringList ZipEntries(const QString& zipFile);
// Writes a zip package from name/content pairs (deflated), replacing the file. The member named
// fromFileEntry, when given, takes its content from the file fromFile instead.
void WriteZipPackage(const QString& zipFile, const std::vector<std::pair<QString, QByteArray>>& entries,
                     const QString& fromFileEntry = QString(), const QString& fromFile = QString());
