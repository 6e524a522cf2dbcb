#include "objects/ObjectFactory.h"

#include "objects/Glimmets.h"

ObjectCell* getObjectCell(int cellType, ScopeApp* parent) {
  if (cellType != 0) {
    return nullptr;
  }
  return new PhotoList(parent, "Photos\\", false, 1.0f, 1.0f, 0.8f);
}
