#include "objects/ObjectFactory.h"

ObjectCell* getObjectCell(int cellType, ScopeApp* parent) {
  if (cellType != 0) {
    return nullptr;
  }
  // The bare cell stands in until the photo list exists.
  return new ObjectCell(parent);
}
