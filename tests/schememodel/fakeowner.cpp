#include "fakeowner.h"

#include "platform/text.h"

#include <algorithm>
#include <set>

FakeOwner::FakeOwner()
{
    FLayers = TDrawControl::Create<TDrawLayers>(this, nullptr, nullptr);
    FSchemes = TDrawControl::Create<TDrawSchemes>(this, nullptr, nullptr);
    FGrid = TDrawControl::Create<TDrawGrid>(this, nullptr, nullptr);
    NewDocument();
}

FakeOwner::~FakeOwner()
{
    Clear();
    FSchemes->Free();
    FLayers->Free();
    FGrid->Free();
}

void FakeOwner::Clear()
{
    FSelection.clear();
    FActiveScheme = nullptr;
    FSchemes->DeleteChildren();
    FActiveLayer = nullptr;
    FLayers->DeleteChildren();
}

void FakeOwner::NewDocument()
{
    Clear();
    TDrawControl::Create<TDrawScheme>(this, FSchemes, nullptr);
    FLayers->New();
    Notes.clear();
}

int FakeOwner::CountNotes(TDrawControl* c, TDrawNotify code) const
{
    return int(std::count(Notes.begin(), Notes.end(), std::make_pair(c, code)));
}

void FakeOwner::DocToClientPoint(TPoint& p) const
{
    p.x = MulDiv(p.x, scale, 100000) - originX;
    p.y = MulDiv(p.y, scale, 100000) - originY;
}

void FakeOwner::DocToClientRect(TRect& r) const
{
    TPoint a = r.TopLeft();
    TPoint b = r.BottomRight();
    DocToClientPoint(a);
    DocToClientPoint(b);
    r = TRect(a, b);
}

void FakeOwner::ClientToDoc(int& x, int& y) const
{
    x = MulDiv(x + originX, 100000, scale);
    y = MulDiv(y + originY, 100000, scale);
}

void FakeOwner::SetDocWidth(int v)
{
    FDocWidth = v;
}

void FakeOwner::SetDocHeight(int v)
{
    FDocHeight = v;
}

void FakeOwner::EndLoading()
{
    if (FLoading > 0 && --FLoading == 0)
        FRefs.ResolveAll();
}

void FakeOwner::GenerateID(TDrawControl* control)
{
    if (FAssigningID || control->IDProp()->IsReadOnly())
        return;
    FAssigningID = true;
    const uint32_t id = FIds.Generate();
    FIds.Use(id);
    control->SetID(id);
    FAssigningID = false;
}

bool FakeOwner::ChangeControlID(TDrawControl* control, uint32_t oldId)
{
    if (!control || FAssigningID) {
        if (control && FAssigningID && control->GetID() != 0)
            FIds.Use(control->GetID());
        return control != nullptr && FAssigningID;
    }
    const uint32_t id = control->GetID();
    if (id == 0) {
        FIds.Release(oldId);
        return true;
    }
    FAssigningID = true;
    if (!FIds.Used(id)) {
        FIds.Release(oldId);
        FIds.Use(id);
    } else {
        const uint32_t other = oldId != 0 ? oldId : FIds.Generate();
        FIds.Use(other);
        control->SetID(other);
    }
    FAssigningID = false;
    if (IsLoading())
        FRefs.AddTranslation(oldId, control->GetID());
    return true;
}

void FakeOwner::GenerateControlName(TDrawControl* control, TDrawControl*, QString& name, bool numbered)
{
    QString base = control->ClassName();
    if (base.size() > 5 && base.startsWith(QLatin1String("TDraw")))
        base = base.mid(5);
    else if (base.startsWith(QLatin1Char('T')))
        base = base.mid(1);
    if (!numbered || IsLoading()) {
        name = base;
        return;
    }
    std::set<int> used;
    for (TDrawControl* root : {static_cast<TDrawControl*>(FSchemes), static_cast<TDrawControl*>(FLayers)}) {
        TPassControlRec rec;
        TreeIterFirst(root, rec);
        for (TDrawControl* c = TreeIterNext(rec); c; c = TreeIterNext(rec)) {
            const QString n = c->GetName();
            if (c != control && n.startsWith(base)) {
                bool ok = false;
                const int k = n.mid(base.size()).toInt(&ok);
                if (ok && k > 0)
                    used.insert(k);
            }
        }
    }
    int k = 1;
    while (used.count(k))
        ++k;
    name = base + QString::number(k);
}

TDrawControl* FakeOwner::FindControlByID(uint32_t id, TDrawControl* root) const
{
    if (!FIds.Used(id))
        return nullptr;
    if (root)
        return root->FindByID(id);
    if (TDrawControl* c = FSchemes->FindByID(id))
        return c;
    return FLayers->FindByID(id);
}

void FakeOwner::DoNotify(TDrawControl* control, TDrawNotify code)
{
    Notes.emplace_back(control, code);
}

void FakeOwner::SelectControl(TDrawControl* control)
{
    if (!IsSelected(control))
        FSelection.push_back(control);
}

void FakeOwner::UnselectControl(TDrawControl* control)
{
    FSelection.erase(std::remove(FSelection.begin(), FSelection.end(), control), FSelection.end());
}

bool FakeOwner::IsSelected(const TDrawControl* control) const
{
    return std::find(FSelection.begin(), FSelection.end(), control) != FSelection.end();
}

TDrawControl* FakeOwner::LoadObject(TDrawFiler& filer, TDrawControl* parent, const QByteArray& line)
{
    BeginLoading();
    struct End {
        FakeOwner* o;
        ~End() { o->EndLoading(); }
    } end{this};
    const int colon = line.lastIndexOf(':');
    if (colon < 1) {
        filer.LoadSkipToEnd();
        return nullptr;
    }
    const TDrawControlClass* cls = FindControlClass(FromCp1251(line.mid(colon + 1).trimmed()));
    if (!cls) {
        filer.LoadSkipToEnd();
        return nullptr;
    }
    TDrawControl* c = cls->Create(this, parent, nullptr);
    c->SetName(FromCp1251(line.mid(6, colon - 6).trimmed()));
    const bool isLayer = c->InheritsFrom(TDrawLayer::StaticClass());
    const bool isScheme = c->InheritsFrom(TDrawScheme::StaticClass());
    if (isLayer && !parent)
        FLayers->Add(c);
    else if (isScheme && !parent)
        FSchemes->Add(c);
    if ((isLayer && c->Parent() != FLayers) || (isScheme && c->Parent() != FSchemes) || !c->Parent()) {
        c->Free();
        filer.LoadSkipToEnd();
        return nullptr;
    }
    try {
        c->LoadFromFiler(filer);
    } catch (...) {
        c->Free();
        throw;
    }
    return c;
}

QByteArray FakeOwner::SaveDocument()
{
    TMemoryStream stream;
    TDrawFiler filer(stream);
    filer.SaveStr("document " + ToCp1251(FSchemes->GetName()));
    FSchemes->Props().SaveToFiler(filer, "  ");
    for (TDrawControl* l : FLayers->Children())
        l->SaveToFiler(filer, "  ");
    for (TDrawControl* s : FSchemes->Children())
        s->SaveToFiler(filer, "  ");
    filer.SaveStr("end");
    stream.SetPosition(0);
    QByteArray bytes(int(stream.Size()), '\0');
    stream.ReadBuffer(bytes.data(), stream.Size());
    return bytes;
}

void FakeOwner::LoadDocument(const QByteArray& text)
{
    Clear();
    TMemoryStream stream;
    stream.WriteBuffer(text.constData(), text.size());
    stream.SetPosition(0);
    TDrawFiler filer(stream);
    BeginLoading();
    QByteArray line;
    filer.LoadStr(line);
    while (filer.LoadStr(line)) {
        if (MatchesKeyword(line, kwEnd))
            break;
        if (MatchesKeyword(line, kwObject))
            LoadObject(filer, nullptr, line);
        else
            FSchemes->Props().LoadFromFiler(filer, line, &FRefs);
    }
    EndLoading();
}
