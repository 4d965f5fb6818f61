// Reading and editing a PDF name tree whose values are indirect references,
// and rebuilding a page tree as a balanced tree of /Pages nodes.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "core/Objects.h"

namespace velmo {

// A snapshot of a name tree's leaves, taken at construction; AddKey and
// DeleteKey edit the underlying arrays and dictionaries in place.
class TPDFNameTree {
public:
    // A root without entries first gets an empty "Names" array.
    TPDFNameTree(TPDFStructure* Parent, TPDFDictionary* Root);

    // The reference paired with Name (the last such pair), nil when absent or
    // when the value is not a reference.
    TPDFIndRef* FindKey(std::string_view Name) const;
    // True when any leaf holds the key Name, whatever its value.
    bool HasKey(std::string_view Name) const;
    // Number of key positions that hold strings.
    int32_t KeyCount() const;
    // The Index-th string key, 1-based in collection order; empty when none.
    std::string KeyName(int32_t Index) const;
    // Inserts the pair in key order into the first leaf whose range takes
    // it, else at the end of the last leaf, keeping that leaf's /Limits.
    void AddKey(std::string_view Name, TPDFIndRef* Value);
    // Removes the pair FindKey finds; the leaf's /Limits then hold its new
    // first and last keys (byte for byte), and emptied kids of the root are
    // pruned. False when there was no such pair.
    bool DeleteKey(std::string_view Name);

    TPDFDictionary* Root() const { return FRoot; }
    bool SingleNode() const { return FSingleNode; }

    // The leaves, parallel: the "Names" array and its node.
    std::vector<TPDFArray*> Arrays;
    std::vector<TPDFDictionary*> Dicts;

private:
    struct KeyPos {
        int32_t Leaf = -1;
        int32_t Item = -1;  // index of the key in the leaf's array
    };
    // Trees deeper than this are not followed further.
    static constexpr int kMaxDepth = 64;

    void CollectLeaves(TPDFDictionary* Root);
    KeyPos FindKeyIndex(std::string_view Name) const;
    void PruneEmptyKids(TPDFDictionary* Node);

    TPDFDictionary* FRoot;
    TPDFStructure* FStructure;
    bool FSingleNode = false;
};

// Rebuilds a page tree from a flat list of page references. The caller wires
// both events and the store before calling Balance.
class TKPLTreeBalancer : public TObject {
public:
    TKPLTreeBalancer() = default;

    TNewIndObjEvent OnNewIndObj;
    TIndObjLookupEvent OnIndObjLookup;
    TPDFStructure* Structure = nullptr;

    // Builds levels of /Pages nodes of at most FanOut kids each (a fan-out
    // below 2 counts as 2) until one node is left, and returns the reference
    // to it; nil for an empty list. Pages take over the inheritable
    // attributes of their old ancestors before they get their new parent.
    TPDFIndRef* Balance(const std::vector<TPDFIndRef*>& Refs, int32_t FanOut);

    // Key's value in Node or its nearest ancestor (one reference followed at
    // each step); nil when none has it. Parent cycles end the search.
    static TPDFObject* FindInheritedValue(TPDFDictionary* Node, std::string_view Key);
    // Copies the inherited Resources, MediaBox, CropBox and Rotate that the
    // page does not hold itself.
    static void CopyInheritedValues(TPDFDictionary* Page);
};

}  // namespace velmo
