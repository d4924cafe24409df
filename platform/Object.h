// The root of the object hierarchy: what lists hold, what events name as their sender.
#pragma once

namespace platform {

class TObject {
 public:
  virtual ~TObject() = default;
};

}  // namespace platform

using platform::TObject;
