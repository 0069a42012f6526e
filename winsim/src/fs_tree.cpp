// The stand-in's file system: the tree of drives, folders and files, and its start state (drive
// C: with the Windows folder and both system folders).
#include <algorithm>

#include "fs_internal.h"
#include "modules.h"
#include "winsim_fs.h"

namespace winsim::fs {

FsState& State() {
  static FsState state;
  return state;
}

Node* Get(NodeId id) {
  auto it = State().nodes.find(id);
  return it == State().nodes.end() ? nullptr : &it->second;
}

NodeId AddNode(NodeId folder, const std::string& name, DWORD attributes) {
  FsState& s = State();
  NodeId id = s.nextNode++;
  Node node;
  node.parent = folder;
  node.name = name;
  node.attributes = attributes;
  node.shortName = MakeShortName(folder, name);
  s.nodes[id] = node;
  Get(folder)->children.push_back(id);
  return id;
}

void Detach(NodeId id) {
  Node* n = Get(id);
  if (n == nullptr || n->detached) return;
  if (Node* parent = Get(n->parent)) {
    auto& c = parent->children;
    c.erase(std::remove(c.begin(), c.end(), id), c.end());
  }
  n->detached = true;
  for (NodeId child : std::vector<NodeId>(n->children)) Detach(child);
}

std::vector<NodeId> ListingOf(NodeId folder) {
  std::vector<NodeId> list = Get(folder)->children;
  switch (static_cast<ListingOrder>(State().listingOrder)) {
    case ListingOrder::Creation: break;
    case ListingOrder::ReverseCreation: std::reverse(list.begin(), list.end()); break;
    case ListingOrder::ByName:
      std::stable_sort(list.begin(), list.end(),
                       [](NodeId a, NodeId b) { return UpperName(Get(a)->name) < UpperName(Get(b)->name); });
      break;
  }
  return list;
}

DWORD ReportedAttributes(const Node& node) { return node.attributes == 0 ? FILE_ATTRIBUTE_NORMAL : node.attributes; }

}  // namespace winsim::fs

namespace winsim::detail {
void ResetFileSystem() {
  using namespace winsim::fs;
  State() = FsState();
  AddDrive('C');
  // Both system folders exist, as on the NT family (which keeps an old SYSTEM folder too); the
  // one reported follows the version the test sets.
  MakeFolder("C:\\WINDOWS\\SYSTEM32");
  MakeFolder("C:\\WINDOWS\\SYSTEM");
}
}  // namespace winsim::detail
