// What an editor works on: the document whose record it edits, the configuration tree it keeps in
// step (null when there is none), and whether the designer is on line, when every editor is
// view-only.
#pragma once

namespace plandrel {

class CArbreCtrl;
class CPlandrelDoc;

struct EditorContext {
  CPlandrelDoc& document;
  CArbreCtrl* tree = nullptr;
  bool online = false;
};

}  // namespace plandrel
