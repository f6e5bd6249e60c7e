// object.h: the root of the framework's data classes.
//
// Records and models of a library derive from CObject so that they are destroyed through their
// base, as the framework's lists of object pointers do; CObject carries nothing else.
#ifndef PAIRWAY_UI_OBJECT_H
#define PAIRWAY_UI_OBJECT_H

namespace pairway::ui {

class CObject {
 public:
  CObject() = default;
  virtual ~CObject() = default;
  CObject(const CObject&) = delete;
  CObject& operator=(const CObject&) = delete;
};

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_OBJECT_H
