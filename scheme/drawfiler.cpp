#include "scheme/drawfiler.h"

#include "platform/streams.h"
#include "platform/text.h"
#include "platform/types.h"
#include "scheme/drawprops.h"

#include <algorithm>
#include <cmath>
#include <cstring>

bool MatchesKeyword(const QByteArray& line, const char* keyword)
{
    const qsizetype kl = qsizetype(std::strlen(keyword));
    const qsizetype n = std::min(line.size(), kl);
    return std::memcmp(line.constData(), keyword, std::size_t(n)) == 0;
}

// ---------------------------------------------------------------- TDrawFiler

TDrawFiler::TDrawFiler(TStream& stream) : FStream(stream), FBuffer(BufSize)
{
    FTotal = stream.Size();
    FLoaded = stream.Position();
}

void TDrawFiler::SaveStr(const QByteArray& text)
{
    if (!text.isEmpty())
        FStream.WriteBuffer(text.constData(), text.size());
    FStream.WriteBuffer("\r\n", 2);
}

void TDrawFiler::SaveBuf(const char* buffer, int64_t count)
{
    if (count > 0)
        FStream.WriteBuffer(buffer, count);
}

bool TDrawFiler::Refill()
{
    const int64_t n = FStream.Read(FBuffer.data(), BufSize);
    FBufPos = 0;
    FBufEnd = int(std::max<int64_t>(n, 0));
    FLoaded += FBufEnd;
    return FBufEnd > 0;
}

bool TDrawFiler::LoadStr(QByteArray& line)
{
    line.clear();
    bool atEnd = false;
    if (FBufPos >= FBufEnd && !Refill())
        atEnd = true;
    // leading blanks
    while (!atEnd) {
        while (FBufPos < FBufEnd && FBuffer[std::size_t(FBufPos)] == ' ')
            ++FBufPos;
        if (FBufPos < FBufEnd)
            break;
        if (!Refill())
            atEnd = true;
    }
    // the line's bytes up to CR or LF
    bool haveEnd = false;
    while (!atEnd) {
        const char* start = FBuffer.data() + FBufPos;
        const char* stop = FBuffer.data() + FBufEnd;
        const char* p = start;
        while (p < stop && *p != '\r' && *p != '\n')
            ++p;
        line.append(start, p - start);
        FBufPos += int(p - start);
        if (p < stop) {
            haveEnd = true;
            break;
        }
        if (!Refill())
            atEnd = true;
    }
    if (haveEnd) {
        const char endChar = FBuffer[std::size_t(FBufPos++)];
        if (FBufPos < FBufEnd || Refill()) {
            const char next = FBuffer[std::size_t(FBufPos)];
            if ((next == '\r' || next == '\n') && next != endChar)
                ++FBufPos;
        }
    }
    const bool more = FBufEnd > 0 && (FBufPos < FBufEnd || Refill());
    DoProgress(dfpLoading);
    return more;
}

void TDrawFiler::LoadSkipToEnd()
{
    int depth = 1;
    QByteArray line;
    while (depth > 0 && LoadStr(line)) {
        if (MatchesKeyword(line, kwEnd))
            --depth;
        else if (MatchesKeyword(line, kwObject) || MatchesKeyword(line, kwProperty))
            ++depth;
    }
}

bool TDrawFiler::CheckLoadSkip(const QByteArray& line)
{
    if (MatchesKeyword(line, kwDocument) || MatchesKeyword(line, kwClipboard) || MatchesKeyword(line, kwLibrary) ||
        MatchesKeyword(line, kwObject) || MatchesKeyword(line, kwProperty)) {
        LoadSkipToEnd();
        return true;
    }
    return false;
}

void TDrawFiler::Rewind()
{
    FStream.Seek(0, soBeginning);
    FSaved = 0;
    FLoaded = 0;
}

void TDrawFiler::SetSaved(int64_t saved)
{
    if (saved == FSaved)
        return;
    FSaved = saved;
    DoProgress(dfpSaving);
}

void TDrawFiler::DoProgress(int process)
{
    if (!OnProgress || FTotal == 0)
        return;
    const double ratio = double(process == dfpSaving ? FSaved : FLoaded) / double(FTotal);
    const int percent = int(RoundHalfEven(ratio * 100.0));
    if (percent == FLastProgress)
        return;
    FLastProgress = percent;
    OnProgress(this, percent, process);
}

// ---------------------------------------------------------------- writing properties

namespace {

bool NeedsQuotes(const QByteArray& text)
{
    // A leading "(" or "{" would read back as a list or data block: quote it too.
    if (!text.isEmpty() && (text[0] == '(' || text[0] == '{'))
        return true;
    for (char c : text)
        if (uint8_t(c) < 0x21 || c == '\'')
            return true;
    return false;
}

QByteArray PlainText(const Variant& value)
{
    switch (value.Type()) {
    case varInteger:
    case varInt64:
        return QByteArray::number(qlonglong(value.AsInt64()));
    case varBoolean:
        return value.AsBoolean() ? QByteArrayLiteral("True") : QByteArrayLiteral("False");
    default:
        return ToCp1251(VarToStr(value));
    }
}

bool IsClearOrEmptyArray(const Variant& v)
{
    if (v.IsClear())
        return true;
    if (v.Type() == varArray)
        return v.ArrayCount() == 0;
    if (v.Type() == varBytes)
        return v.AsBytes().isEmpty();
    return false;
}

}  // namespace

void TPropList::SaveToFiler(TDrawFiler& filer, const QByteArray& indent)
{
    const QByteArray subIndent = indent + "  ";
    for (int i = 0; i < Count(); ++i) {
        TCustomProp* prop = GetProp(i);
        const QString name = GetPropName(i);
        if (prop->HasStyle(psNotStored) || !IsPropStored(prop, QString()))
            continue;
        if (prop->PropType() != ptComplex) {
            SaveProperty(filer, indent, false, name, prop);
            continue;
        }
        QStringList subs;
        prop->GetPublishedNames(subs);
        bool opened = false;
        for (const QString& sub : subs) {
            if (!IsPropStored(prop, sub))
                continue;
            if (!opened) {
                filer.SaveStr(indent + kwProperty + ' ' + ToCp1251(name));
                opened = true;
            }
            SaveProperty(filer, subIndent, true, sub, prop);
        }
        if (opened)
            filer.SaveStr(indent + kwEnd);
    }
}

void TPropList::SaveProperty(TDrawFiler& filer, const QByteArray& indent, bool isSub, const QString& name,
                             TCustomProp* prop)
{
    const QString subName = isSub ? name : QString();
    const Variant value = prop->GetPropValue(subName);
    const uint8_t kind = prop->GetPropType(subName);
    const QByteArray head = indent + ToCp1251(name);
    switch (kind) {
    case ptStrings: {
        if (value.IsClear()) {
            filer.SaveStr(head + " = ( )");
            return;
        }
        if (value.Type() != varArray)
            return;
        const int count = value.ArrayCount();
        if (count == 0) {
            filer.SaveStr(head + " = ( )");
            return;
        }
        filer.SaveStr(head + " = (");
        for (int i = 0; i < count; ++i) {
            QByteArray line = indent + "  '" + ToCp1251(VarToStr(value[i])) + '\'';
            if (i == count - 1)
                line += " )";
            filer.SaveStr(line);
        }
        return;
    }
    case ptData: {
        if (IsClearOrEmptyArray(value)) {
            filer.SaveStr(head + " = { }");
            return;
        }
        QByteArray bytes;
        if (value.Type() == varBytes) {
            bytes = value.AsBytes();
        } else if (value.Type() == varArray) {
            bytes.reserve(value.ArrayCount());
            for (const Variant& b : value.Items())
                bytes.append(char(b.AsInteger()));
        } else {
            return;
        }
        // The whole block in memory, one write. Every full line of 32 bytes ends with CR LF;
        // the rest (possibly nothing) goes on the last line, which the closing brace follows.
        const QByteArray lineIndent = indent + "  ";
        const qsizetype full = bytes.size() / 32;
        QByteArray block;
        block.reserve(head.size() + 6 + (full + 1) * (lineIndent.size() + 66) + 4);
        block.append(head).append(" = {\r\n");
        const QByteArray hex = bytes.toHex().toUpper();
        for (qsizetype l = 0; l < full; ++l)
            block.append(lineIndent).append(hex.constData() + l * 64, 64).append("\r\n");
        block.append(lineIndent).append(hex.constData() + full * 64, hex.size() - full * 64);
        block.append(" }\r\n");
        filer.SaveBuf(block.constData(), block.size());
        return;
    }
    default: {
        if (value.IsClear())
            return;
        QByteArray text = PlainText(value);
        if (prop->IsSetProp(subName))
            text = '[' + text + ']';
        else if (NeedsQuotes(text))
            text = '\'' + text + '\'';
        filer.SaveStr(head + " = " + text);
        return;
    }
    }
}

// ---------------------------------------------------------------- reading properties

namespace {

QByteArray TrimBoth(const QByteArray& s)
{
    qsizetype b = 0;
    qsizetype e = s.size();
    while (b < e && uint8_t(s[b]) <= 0x20)
        ++b;
    while (e > b && uint8_t(s[e - 1]) <= 0x20)
        --e;
    return s.mid(b, e - b);
}

QByteArray TrimRightBlanks(const QByteArray& s)
{
    qsizetype e = s.size();
    while (e > 0 && uint8_t(s[e - 1]) <= 0x20)
        --e;
    return s.left(e);
}

// "( )", "()", "{ }" and "{}": an empty list or data value written on one line.
bool IsEmptyBlock(const QByteArray& text, char open, char close)
{
    return text.size() >= 2 && text.front() == open && text.back() == close &&
           TrimBoth(text.mid(1, text.size() - 2)).isEmpty();
}

}  // namespace

void TPropList::LoadProperty(TDrawFiler& filer, TCustomProp* prop, const QByteArray& line)
{
    const qsizetype eq = line.indexOf('=');
    if (eq < 0)
        return;  // not a property line
    const QByteArray name = TrimBoth(line.left(eq));
    const QByteArray text = TrimBoth(line.mid(eq + 1));
    TCustomProp* target = prop ? prop : ByName(FromCp1251(name));
    // Unknown name: nothing more is read here. Continuation lines of its list or data come
    // back to the caller as lines of their own and, lacking a known name, are ignored, so an
    // unterminated value of an unknown property cannot swallow the lines after it.
    if (!target)
        return;

    const bool listBlock = text.startsWith('(') && !text.endsWith(')');
    const bool dataBlock = text.startsWith('{') && !text.endsWith('}');

    Variant value;
    if (IsEmptyBlock(text, '(', ')') || IsEmptyBlock(text, '{', '}')) {
        value = Variant();
    } else if (listBlock) {
        std::vector<Variant> items;
        QByteArray l;
        while (filer.LoadStr(l)) {
            const bool last = l.endsWith(')');
            if (last)
                l = TrimRightBlanks(l.left(l.size() - 1));
            if (l.size() >= 2 && l.front() == '\'' && l.back() == '\'')
                items.emplace_back(FromCp1251(l.mid(1, l.size() - 2)));
            if (last)
                break;
        }
        if (!items.empty())
            value = Variant(std::move(items));
    } else if (dataBlock) {
        QByteArray bytes;
        QByteArray l;
        while (filer.LoadStr(l)) {
            const bool last = l.endsWith('}');
            if (last)
                l = TrimRightBlanks(l.left(l.size() - 1));
            const qsizetype pairs = l.size() / 2;
            const qsizetype at = bytes.size();
            bytes.resize(at + pairs);
            for (qsizetype i = 0; i < pairs; ++i)
                bytes[at + i] = char(HexToByte(l[2 * i], l[2 * i + 1]));
            if (last)
                break;
        }
        if (!bytes.isEmpty())
            value = Variant(bytes);
    } else if (!text.isEmpty() && text.front() == '\'' && text.back() == '\'') {
        // a lone quote is an empty quoted text
        value = Variant(FromCp1251(text.size() >= 2 ? text.mid(1, text.size() - 2) : QByteArray()));
    } else {
        value = Variant(FromCp1251(text));
    }

    const QString subName = prop ? FromCp1251(name) : QString();
    if (!IsResolving() && target->HasStyle(psReference) && FRefList)
        FRefList->AddRef(value, target, subName);
    else
        target->SetPropValue(subName, value);
}

void TPropList::LoadFromFiler(TDrawFiler& filer, const QByteArray& line, TPropRefList* refList)
{
    struct Bind {
        TPropList* list;
        TPropRefList* saved;
        ~Bind() { list->FRefList = saved; }
    } bind{this, FRefList};
    if (!IsResolving())
        FRefList = refList;

    if (MatchesKeyword(line, kwProperty)) {
        const QByteArray propName = TrimRightBlanks(ExtractWord(line, 2, ' '));
        TCustomProp* prop = ByName(FromCp1251(propName));
        if (!prop) {
            filer.LoadSkipToEnd();
            return;
        }
        QByteArray l;
        while (filer.LoadStr(l)) {
            if (MatchesKeyword(l, kwEnd))
                break;
            LoadProperty(filer, prop, l);
        }
        return;
    }
    LoadProperty(filer, nullptr, line);
}
