// What nimbrel.tamrin lends nimbrel.velk for the molecule objects velk's
// readers hand out, passed in a capsule: the objects are tamrin's, made and
// refilled the way its own constructor and destructor would.
#pragma once

#include <Python.h>

#include "tamrin/model/molimpl.h"

namespace tamrin_py {

inline constexpr const char* kGraphMolObjectsCapsule = "nimbrel._tamrin._graph_mol_objects";

struct GraphMolObjects {
  // A new molecule object owning `mol`; null with an exception set when it
  // could not be made.
  PyObject* (*wrap)(Tamrin::QvGraphMolImpl* mol);
  // The molecule of `object` when the caller holds the only reference to it
  // and it has nothing of its own besides (no attributes, no weak
  // references, a native half no one else holds); `object` then owns no
  // molecule until `refill`. Null, with `object` unchanged, otherwise.
  Tamrin::QvGraphMolImpl* (*take)(PyObject* object);
  // Gives `object`, emptied by `take`, the molecule `mol`; returns `object`.
  PyObject* (*refill)(PyObject* object, Tamrin::QvGraphMolImpl* mol);
};

}  // namespace tamrin_py
