#include "platform/text.h"
#include "scheme/drawprops.h"

#include <gtest/gtest.h>

namespace {

// Records the change protocol as the list and the property's own link see it.
struct ProtocolLog {
    explicit ProtocolLog(TPropList& list)
    {
        list.OnPropBeforeChanged = [this](TPropList*, TCustomProp* p) { Events.push_back("before " + p->Name()); };
        list.OnPropChanged = [this](TPropList*, TCustomProp* p) { Events.push_back("changed " + p->Name()); };
    }
    QStringList Events;
};

}  // namespace

TEST(PropList, NamesAreCaseInsensitiveAndReservedWordsRefused)
{
    TPropList list;
    auto* brush = new TIntProp(&list, "Brush");
    EXPECT_EQ(list.ByName("brush"), brush);
    auto duplicate = std::make_unique<TIntProp>(&list, "BRUSH");
    EXPECT_EQ(duplicate->Owner(), nullptr);
    EXPECT_EQ(list.Add(duplicate.get(), "BRUSH"), -1);
    EXPECT_TRUE(list.IsValidName("End"));
    EXPECT_TRUE(list.IsValidName("Objects"));
    EXPECT_FALSE(list.IsValidName("end"));
    EXPECT_FALSE(list.IsValidName("object"));
    auto reserved = std::make_unique<TIntProp>(&list, "property");
    EXPECT_EQ(reserved->Owner(), nullptr);
    EXPECT_EQ(list.Count(), 1);
}

TEST(PropList, KeepsNameOrderAndDeletesOwnedProperties)
{
    TPropList list;
    new TIntProp(&list, "Width");
    new TIntProp(&list, "ID");
    new TStrProp(&list, "hint");
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.GetPropName(0), "hint");
    EXPECT_EQ(list.GetPropName(1), "ID");
    EXPECT_EQ(list.GetPropName(2), "Width");
    list.Delete(0);
    EXPECT_EQ(list.ByName("hint"), nullptr);
    // a property freed by its owner code leaves the list instead of dangling in it
    delete list.ByName("ID");
    EXPECT_EQ(list.Count(), 1);
    list.Clear();
    EXPECT_EQ(list.Count(), 0);
}

TEST(ChangeProtocol, OrderAndEqualityRules)
{
    TPropList list;
    ProtocolLog log(list);
    auto* name = new TStrProp(&list, "Name");
    QStringList own;
    int owner = 0;
    TNotifyLink watcher(&owner);
    watcher.OnNotify = [&](TNotifyLink*, TNotifyLink* source, const TNotifyInfo& info) {
        own << QString("%1 %2").arg(source->Owner() == name ? "prop" : "list").arg(int(info.Kind));
    };
    name->GetNotifyLink()->Subscribe(&watcher);
    list.GetNotifyLink()->Subscribe(&watcher);

    name->SetValue("Box");
    EXPECT_EQ(log.Events, (QStringList{"before Name", "changed Name"}));
    EXPECT_EQ(own, (QStringList{"list 1", "prop 1", "list 2", "prop 2"}));

    log.Events.clear();
    name->SetValue("Box");
    EXPECT_TRUE(log.Events.isEmpty()) << "an equal value fires nothing";
    name->SetValue("box");
    EXPECT_EQ(log.Events.size(), 2) << "strings compare case-sensitively";
}

TEST(ChangeProtocol, ReadOnlyRefusesSilently)
{
    TPropList list;
    ProtocolLog log(list);
    auto* left = new TIntProp(&list, "Left");
    auto* visible = new TBoolProp(&list, "Visible");
    auto* hint = new TStrListProp(&list, "Hint");
    list.OnPropReadOnly = [](TPropList*, TCustomProp*, bool& ro) { ro = true; };
    left->SetValue(5);
    visible->SetValue(true);
    hint->SetText("x");
    left->SetPropValue("", Variant(9));
    EXPECT_EQ(left->GetValue(), 0);
    EXPECT_FALSE(visible->GetValue());
    EXPECT_EQ(hint->GetCount(), 0);
    EXPECT_TRUE(log.Events.isEmpty());
    list.OnPropReadOnly = nullptr;
    left->SetStyle(left->Style() | psReadOnly);
    left->SetValue(5);
    EXPECT_EQ(left->GetValue(), 0);
}

TEST(SimpleKinds, BoolEnumIntAndLongWordValues)
{
    TPropList list;
    auto* b = new TBoolProp(&list, "Active");
    b->SetValue(true);
    EXPECT_EQ(b->GetPropValue("").AsString(), "True");
    b->SetPropValue("", Variant("false"));
    EXPECT_FALSE(b->GetValue());
    b->SetPropValue("", Variant("maybe"));
    EXPECT_FALSE(b->GetValue()) << "unknown items are ignored";
    b->SetPropValue("", Variant(true));
    EXPECT_TRUE(b->GetValue());

    auto* e = new TEnumProp(&list, "Kind");
    e->SetEnumIndex(5);
    EXPECT_EQ(e->GetDisplayValue(), "") << "an index outside the items shows nothing";

    auto* w = new TLongWordProp(&list, "ID");
    w->SetValue(4294967295u);
    EXPECT_EQ(w->GetPropValue("").AsInteger(), -1);
    w->SetValue(0);
    w->SetPropValue("", Variant("-1"));
    EXPECT_EQ(w->GetValue(), 4294967295u);
    w->SetPropValue("", Variant("4294967294"));
    EXPECT_EQ(w->GetValue(), 4294967294u);

    auto* i = new TIntProp(&list, "Left");
    EXPECT_THROW(i->SetPropValue("", Variant("abc")), EConvertError);
    int external = 3;
    i->SetValuePtr(&external);
    EXPECT_EQ(i->GetValue(), 3);
    i->SetValue(8);
    EXPECT_EQ(external, 8);
    i->OnGetValue = [](TIntProp*, int& v) { v = 42; };
    EXPECT_EQ(i->GetValue(), 42);
}

TEST(SimpleKinds, ThousandthsDisplayUsesTheDecimalSeparator)
{
    const TFormatSettings saved = FormatSettings();
    FormatSettings() = InvariantFormatSettings();
    TPropList list;
    auto* left = new TIntProp(&list, "Left");
    left->SetStyle(left->Style() | psThousandths);
    left->SetValue(1500);
    EXPECT_EQ(left->GetDisplayValue(), "1.500");
    left->SetDisplayValue("2.0004");
    EXPECT_EQ(left->GetValue(), 2000);
    left->SetValue(-1);
    EXPECT_EQ(left->GetDisplayValue(), "-0.001");
    EXPECT_THROW(left->SetDisplayValue("abc"), EConvertError);
    FormatSettings() = RussianFormatSettings();
    left->SetValue(1500);
    EXPECT_EQ(left->GetDisplayValue(), "1,500");
    FormatSettings() = saved;
}

TEST(SimpleKinds, StringListValues)
{
    TPropList list;
    auto* hint = new TStrListProp(&list, "Hint");
    EXPECT_TRUE(hint->GetPropValue("").IsEmpty()) << "no lines is empty, not an empty array";
    hint->SetLines({"a", "b"});
    EXPECT_EQ(hint->GetText(), "a\r\nb");
    const Variant v = hint->GetPropValue("");
    ASSERT_EQ(v.Type(), varArray);
    EXPECT_EQ(v.ArrayCount(), 2);
    hint->SetPropValue("", Variant());
    EXPECT_EQ(hint->GetCount(), 0);
    hint->SetPropValue("", VarArrayOf({Variant("x"), Variant(5)}));
    EXPECT_EQ(hint->Strings(), (QStringList{"x", "5"}));
    hint->SetPropValue("", Variant("plain"));
    EXPECT_EQ(hint->GetCount(), 2) << "a plain value is ignored";
    hint->SetText("one\ntwo\r\n");
    EXPECT_EQ(hint->Strings(), (QStringList{"one", "two"}));
}

TEST(Deferred, ReferencesWaitAndResolveInReverseOrder)
{
    TPropRefList refs;
    TPropList list;
    QStringList order;
    list.OnPropChanged = [&](TPropList*, TCustomProp* p) {
        order << p->Name() + "=" + VarToStr(p->GetPropValue(""));
        EXPECT_TRUE(list.IsResolving());
        EXPECT_EQ(list.RefList(), &refs);
    };
    auto* layer = new TStrProp(&list, "Layer");
    auto* ref = new TStrProp(&list, "Reference");
    layer->SetStyle(layer->Style() | psReference);
    ref->SetStyle(ref->Style() | psReference);
    refs.AddRef(Variant("L1"), layer, "");
    refs.AddRef(Variant("S2"), ref, "");
    EXPECT_EQ(layer->GetValue(), "");
    refs.ResolveAll();
    EXPECT_EQ(order, (QStringList{"Reference=S2", "Layer=L1"}));
    EXPECT_EQ(refs.Count(), 0);
    EXPECT_FALSE(list.IsResolving());
    EXPECT_EQ(list.RefList(), nullptr);
}

TEST(Deferred, RecordOfAFreedPropertyIsDropped)
{
    TPropRefList refs;
    auto list = std::make_unique<TPropList>();
    auto* layer = new TStrProp(list.get(), "Layer");
    refs.AddRef(Variant("L1"), layer, "");
    list.reset();  // the control was freed while loading
    EXPECT_NO_THROW(refs.ResolveAll());
    EXPECT_EQ(refs.Count(), 0);
}

TEST(Deferred, IdTranslation)
{
    TPropRefList refs;
    EXPECT_FALSE(refs.AddTranslation(0, 5));
    EXPECT_FALSE(refs.AddTranslation(5, 0));
    EXPECT_TRUE(refs.AddTranslation(3, 7));
    EXPECT_FALSE(refs.AddTranslation(3, 8)) << "one translation per old ID";
    EXPECT_TRUE(refs.AddTranslation(4, 4));
    EXPECT_EQ(refs.TranslateID(3), 7u);
    EXPECT_EQ(refs.TranslateID(4), 4u);
    EXPECT_EQ(refs.TranslateID(9), 0u);
    TPropList list;
    EXPECT_FALSE(list.AddTranslation(1, 2)) << "no read in progress";
    list.BeginResolve(&refs);
    EXPECT_TRUE(list.AddTranslation(10, 11));
    list.EndResolve();
    EXPECT_EQ(refs.TranslateID(10), 11u);
    refs.ResolveAll();
    EXPECT_EQ(refs.TranslateID(3), 0u) << "translations end with the read";
}
