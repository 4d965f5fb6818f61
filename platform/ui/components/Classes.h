// The component model under the program's forms: objects with a class name,
// components owned by components, published properties read and written by
// name as text, the loading state of a stored form and the binary
// properties a component defines for itself.
//
// Published properties come from a registry of our own: every class lists
// its own properties (name, kind, accessors) and those of its base, so code
// that knows nothing of a class can still read its "Color" or set its
// "Transparent" by name.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace velmo::vcl {

// The silent exception: it unwinds to the message loop and shows nothing.
class EAbort : public std::runtime_error {
public:
    EAbort() : std::runtime_error("Operation aborted") {}
};
[[noreturn]] void Abort();

class TObject {
public:
    virtual ~TObject() = default;
    // The class name as the program's classes are named ("TButton").
    virtual const char* ClassName() const { return "TObject"; }
};

class TPersistent;
class TComponent;

// --- Published properties ---------------------------------------------------
enum class TTypeKind { tkInteger, tkEnumeration, tkUString, tkClass };

struct TPropInfo {
    std::string Name;
    TTypeKind Kind = TTypeKind::tkInteger;
    std::vector<std::string> EnumNames;  // value names of an enumeration, by value
    std::function<int64_t(const TObject&)> GetOrd;
    std::function<void(TObject&, int64_t)> SetOrd;
    std::function<std::u16string(const TObject&)> GetStr;
    std::function<void(TObject&, const std::u16string&)> SetStr;
    std::function<TObject*(const TObject&)> GetObj;
    std::function<void(TObject&, TObject*)> SetObj;
};
using TPropList = std::vector<const TPropInfo*>;

// Builders of property records for a class C from its accessors.
template <class C, class V>
TPropInfo IntProp(std::string Name, V (C::*Get)() const, void (C::*Set)(V)) {
    TPropInfo P;
    P.Name = std::move(Name);
    P.Kind = TTypeKind::tkInteger;
    P.GetOrd = [Get](const TObject& O) { return int64_t((static_cast<const C&>(O).*Get)()); };
    if (Set) P.SetOrd = [Set](TObject& O, int64_t V2) { (static_cast<C&>(O).*Set)(V(V2)); };
    return P;
}
template <class C, class V>
TPropInfo EnumProp(std::string Name, std::vector<std::string> Names, V (C::*Get)() const,
                   void (C::*Set)(V)) {
    TPropInfo P = IntProp<C, V>(std::move(Name), Get, Set);
    P.Kind = TTypeKind::tkEnumeration;
    P.EnumNames = std::move(Names);
    return P;
}
template <class C>
TPropInfo BoolProp(std::string Name, bool (C::*Get)() const, void (C::*Set)(bool)) {
    return EnumProp<C, bool>(std::move(Name), {"False", "True"}, Get, Set);
}
template <class C>
TPropInfo StrProp(std::string Name, std::u16string (C::*Get)() const,
                  void (C::*Set)(const std::u16string&)) {
    TPropInfo P;
    P.Name = std::move(Name);
    P.Kind = TTypeKind::tkUString;
    P.GetStr = [Get](const TObject& O) { return (static_cast<const C&>(O).*Get)(); };
    if (Set)
        P.SetStr = [Set](TObject& O, const std::u16string& S) { (static_cast<C&>(O).*Set)(S); };
    return P;
}
template <class C, class V>
TPropInfo ObjProp(std::string Name, V* (C::*Get)() const, void (C::*Set)(V*)) {
    TPropInfo P;
    P.Name = std::move(Name);
    P.Kind = TTypeKind::tkClass;
    P.GetObj = [Get](const TObject& O) -> TObject* { return (static_cast<const C&>(O).*Get)(); };
    if (Set)
        P.SetObj = [Set](TObject& O, TObject* V2) {
            (static_cast<C&>(O).*Set)(dynamic_cast<V*>(V2));
        };
    return P;
}

class TPersistent : public TObject {
public:
    const char* ClassName() const override { return "TPersistent"; }
    // Appends the published properties of this class and its bases.
    virtual void ListProperties(TPropList& Out) const { (void)Out; }
};

// The published property Name of Obj (case-insensitive), or null.
const TPropInfo* FindPropInfo(const TObject* Obj, std::string_view Name);

// Reads and writes by name; each gives the neutral answer when Obj is null
// or has no such property of the kind asked for.
// An integer property's value, else -1.
int64_t GetOrdPropByName(const TObject* Obj, std::string_view Name);
// An enumeration property's value name, else empty.
std::string GetEnumPropByName(const TObject* Obj, std::string_view Name);
// A string property, else empty.
std::u16string GetWideStrPropByName(const TObject* Obj, std::string_view Name);
// An object property holding an object of class T, else null.
TObject* GetObjectPropRaw(const TObject* Obj, std::string_view Name);
template <class T>
T* GetObjectPropByName(const TObject* Obj, std::string_view Name) {
    return dynamic_cast<T*>(GetObjectPropRaw(Obj, Name));
}
// Sets an integer property from decimal text (text that is no number
// changes nothing), an enumeration by value name (case-insensitive; an
// unknown name changes nothing) or a string property to Text; any other
// kind is left alone. True when a value was written.
bool SetPropByName(TObject* Obj, std::string_view Name, const std::u16string& Text);
// Sets an object property; false when there is none.
bool SetObjectPropByName(TObject* Obj, std::string_view Name, TObject* Value);

// --- Binary properties -------------------------------------------------------
// A read-only stream over bytes, as a binary property's reader receives it.
class TByteReader {
public:
    explicit TByteReader(std::span<const uint8_t> Data) : FData(Data) {}
    size_t Size() const { return FData.size(); }
    size_t Position() const { return FPos; }
    // Copies up to Count bytes; returns the number copied.
    size_t Read(void* Buffer, size_t Count);
    std::span<const uint8_t> Rest() const { return FData.subspan(FPos); }

private:
    std::span<const uint8_t> FData;
    size_t FPos = 0;
};

// Given to DefineProperties while a component is read: a defined binary
// property whose data the stored form holds has its reader called.
class TFiler {
public:
    using TReadProc = std::function<void(TByteReader&)>;
    virtual ~TFiler() = default;
    virtual void DefineBinaryProperty(const std::string& Name, const TReadProc& ReadData,
                                      bool HasData) = 0;
};

// --- Components ----------------------------------------------------------------
enum TOperation { opInsert, opRemove };

enum TComponentStateFlag : uint32_t {
    csLoading = 1,
    csReading = 2,
    csDestroying = 4,
};

using TNotifyEvent = std::function<void(TObject* Sender)>;

class TComponent : public TPersistent {
public:
    // Owner takes ownership: it destroys this component with itself.
    explicit TComponent(TComponent* AOwner);
    ~TComponent() override;
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const char* ClassName() const override { return "TComponent"; }
    void ListProperties(TPropList& Out) const override;

    TComponent* Owner() const { return FOwner; }
    int ComponentCount() const { return int(FComponents.size()); }
    TComponent* Components(int Index) const;
    const std::vector<TComponent*>& ComponentList() const { return FComponents; }
    // The owned component of that name (case-insensitive), or null.
    TComponent* FindComponent(std::u16string_view Name) const;

    std::u16string Name() const { return FName; }
    void SetName(const std::u16string& Value);
    intptr_t Tag() const { return FTag; }
    void SetTag(intptr_t Value) { FTag = Value; }

    uint32_t ComponentState() const { return FState; }
    bool Loading() const { return FState & csLoading; }
    bool Destroying() const { return FState & csDestroying; }

    void InsertComponent(TComponent* C);
    void RemoveComponent(TComponent* C);
    // Asks to hear of C's destruction through Notification.
    void FreeNotification(TComponent* C);
    void RemoveFreeNotification(TComponent* C);
    // Destroys every owned component, the last first.
    void DestroyComponents();

    // The stored form's reading: enter the loading state, read defined
    // binary properties, leave it through Loaded.
    void BeginLoading() { FState |= csLoading | csReading; }
    virtual void DefineProperties(TFiler& Filer) { (void)Filer; }
    virtual void Loaded() { FState &= ~uint32_t(csLoading | csReading); }

protected:
    // Another component was inserted into or removed from this one's
    // owned list, or a component this one watches is going.
    virtual void Notification(TComponent* AComponent, TOperation Operation);
    void MarkDestroying() { FState |= csDestroying; }

private:
    TComponent* FOwner = nullptr;
    std::vector<TComponent*> FComponents;
    std::vector<TComponent*> FFreeNotifies;
    std::u16string FName;
    intptr_t FTag = 0;
    uint32_t FState = 0;
};

// A stored form is a table in stored order. Each entry creates one
// component owned by the root (the root itself when Create is empty),
// names it, sets its properties by name while it is loading, hands the
// binary properties to its DefineProperties and runs Assign (events,
// references). Then Loaded runs on the root and every created component
// in creation order.
struct TStoredComponent {
    std::function<TComponent*(TComponent* Root)> Create;  // empty: the root
    std::u16string Name;
    std::u16string Parent;  // a windowed control of the table, or the root
    std::vector<std::pair<std::string, std::u16string>> Properties;
    std::vector<std::pair<std::string, std::span<const uint8_t>>> Binary;
    std::function<void(TComponent*)> Assign;
};
// Sets the parent of a created control (the control layer installs it).
using TParentSetter = void (*)(TComponent* Child, TComponent* Parent);
void SetStoredParentSetter(TParentSetter Setter);
// Reads the table into Root; returns the created components in order.
std::vector<TComponent*> ReadStoredComponents(TComponent& Root,
                                              const std::vector<TStoredComponent>& Table);

// Text helpers shared by the component layer: ASCII case-insensitive
// comparison and ASCII text widened or narrowed (other units become '?').
bool SameTextAscii(std::string_view A, std::string_view B);
bool SameTextWide(std::u16string_view A, std::u16string_view B);
std::u16string Widen(std::string_view S);
std::string NarrowAscii(std::u16string_view S);

}  // namespace velmo::vcl
