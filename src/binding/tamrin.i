// nimbrel.tamrin: the toolkit's molecules for Python.
//
// The classes are declared here by hand rather than by including the C++
// headers, so that Python sees the molecule API and nothing of the storage
// underneath. QvGraphMol and QvMol are the concrete molecule classes
// (Tamrin::QvGraphMolImpl and Tamrin::QvMol) and derive from QvMolBase in the
// SWIG type table shared with the sibling modules: nimbrel.velk takes them as
// "Tamrin::QvMolBase *".

%define TAMRIN_DOC
"Molecules of the Tamrin toolkit: atoms, bonds, coordinates, conformers and data.

QvGraphMol is the single-conformer molecule that readers fill; QvMol holds any
number of conformers (coordinates, titles and energies) over one graph. Both
are QvMolBase objects, which nimbrel.velk reads into and writes from.

Atoms and bonds get index numbers 0, 1, 2, ... that are never reused: deleting
an atom keeps its record (skipped by GetAtoms) until Sweep() renumbers the
rest densely. Coordinates are kept by atom index, in single precision, as are
energies. Atom, bond and conformer objects keep their molecule alive; using one
after Sweep(), Clear() or DeleteConf() destroyed it raises ValueError.

SD data (the name/value pairs of SD files) are read and written with
QvGetSDData, QvSetSDData, QvAddSDData and QvGetSDDataPairs; other tagged data
with QvGetData, QvSetData and QvGetDataPairs.

From Python a molecule also offers mol.coords (a NumPy (N, 3) array, a copy;
assignable), mol.sd and mol.data (mutable mappings), mol.title, mol.atoms and
mol.bonds (iterators; atoms have symbol, formal_charge, isotope,
implicit_h_count, aromatic; bonds begin, end, order, aromatic), mol.smiles and
len(mol). Two molecules are equal when their canonical isomeric SMILES are."
%enddef

%module(package="nimbrel", docstring=TAMRIN_DOC) tamrin

%include <stdint.i>
%include <std_string.i>
%include <exception.i>
%include "argument_count.swg"
%include "tamrin_support.swg"

%exception {
  try {
    $action
  } catch (const tamrin_py::PythonErrorSet&) {
    SWIG_fail;
  } catch (const std::bad_alloc&) {
    SWIG_exception(SWIG_MemoryError, "out of memory");
  } catch (const std::invalid_argument& e) {
    SWIG_exception(SWIG_ValueError, e.what());
  } catch (const std::exception& e) {
    SWIG_exception(SWIG_RuntimeError, e.what());
  }
}

%feature("autodoc", "0");

// Atoms, bonds and conformers: checked before use, tied to their molecule
// when handed out. Generated wrappers keep the Python arguments in swig_obj,
// the first being `self`; that is the object a result is tied to.
%define TAMRIN_DEPENDENT(TYPE)
%typemap(in) TYPE* (void* argp = 0, int res = 0), const TYPE* (void* argp = 0, int res = 0) {
  res = SWIG_ConvertPtr($input, &argp, $descriptor(TYPE*), 0);
  if (!SWIG_IsOK(res))
    SWIG_exception_fail(SWIG_ArgError(res), "in method '$symname', argument $argnum of type '$type'");
  if (!tamrin_py::CheckAlive($input, argp)) SWIG_fail;
  $1 = reinterpret_cast<$1_ltype>(argp);
}
%typemap(in) TYPE& (void* argp = 0, int res = 0), const TYPE& (void* argp = 0, int res = 0) {
  res = SWIG_ConvertPtr($input, &argp, $descriptor(TYPE*), 0);
  if (!SWIG_IsOK(res))
    SWIG_exception_fail(SWIG_ArgError(res), "in method '$symname', argument $argnum of type '$type'");
  if (!argp) SWIG_exception_fail(SWIG_ValueError, "in method '$symname', argument $argnum is None");
  if (!tamrin_py::CheckAlive($input, argp)) SWIG_fail;
  $1 = reinterpret_cast<$1_ltype>(argp);
}
%typemap(out) TYPE* {
  $result = tamrin_py::Attach(SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor(TYPE*), 0), swig_obj[0]);
  if (!$result) SWIG_fail;
}
%enddef

TAMRIN_DEPENDENT(Tamrin::QvAtomBase)
TAMRIN_DEPENDENT(Tamrin::QvBondBase)
TAMRIN_DEPENDENT(Tamrin::QvConfBase)

// Anything carrying data: molecules pass as they are, the rest is checked.
%typemap(in) Sorvil::QvBase& (void* argp = 0, int res = 0), const Sorvil::QvBase& (void* argp = 0, int res = 0) {
  res = SWIG_ConvertPtr($input, &argp, $descriptor(Sorvil::QvBase*), 0);
  if (!SWIG_IsOK(res))
    SWIG_exception_fail(SWIG_ArgError(res), "in method '$symname', argument $argnum of type 'QvBase'");
  if (!argp) SWIG_exception_fail(SWIG_ValueError, "in method '$symname', argument $argnum is None");
  if (!tamrin_py::CheckAlive($input, argp)) SWIG_fail;
  $1 = reinterpret_cast<$1_ltype>(argp);
}

// Iterators are new objects tied to the molecule of `self`.
%define TAMRIN_ITERATOR(TYPE)
%typemap(out) TYPE* {
  $result = tamrin_py::Attach(SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor(TYPE*), SWIG_POINTER_OWN), swig_obj[0]);
  if (!$result) SWIG_fail;
}
%enddef

TAMRIN_ITERATOR(tamrin_py::AtomIter)
TAMRIN_ITERATOR(tamrin_py::BondIter)
TAMRIN_ITERATOR(tamrin_py::AtomBondIter)
TAMRIN_ITERATOR(tamrin_py::NbrIter)
TAMRIN_ITERATOR(tamrin_py::ConfIter)

namespace Sorvil {
%nodefaultctor QvBase;
%nodefaultdtor QvBase;
%feature("docstring") QvBase "Base of every molecule, atom, bond and conformer: carries generic data (see QvGetData).";
class QvBase {};
// The native object in a slot of its own rather than in an attribute
// dictionary: a reader makes and drops a molecule object per record.
// Other attributes still go to a dictionary, made when first needed.
%extend QvBase {
  %pythoncode %{
    __slots__ = ("this", "__dict__", "__weakref__")
  %}
}
}  // namespace Sorvil

namespace Tamrin {

// Perception bits (QvMolBase.HasPerceived and friends).
enum QvPerceived {
  QvPerceivedRings = 0x1,
  QvPerceivedAromaticity = 0x2,
  QvPerceivedAtomStereo = 0x4,
  QvPerceivedBondStereo = 0x8,
  QvPerceivedHybridization = 0x10,
  QvPerceivedEnergy = 0x100,
};

%nodefaultctor QvAtomBase;
%nodefaultdtor QvAtomBase;
%feature("docstring") QvAtomBase "An atom of a molecule; made by QvMolBase.NewAtom.

Properties never set read as 0, '' or False. Setters return False, changing
nothing, for values the atom cannot hold (a formal charge beyond 16 bits, more
than 255 implicit hydrogens).";
class QvAtomBase : public Sorvil::QvBase {
 public:
  unsigned GetIdx() const;
  unsigned GetAtomicNum() const;
  bool SetAtomicNum(unsigned atomic_num);
  int GetFormalCharge() const;
  bool SetFormalCharge(int charge);
  unsigned GetIsotope() const;
  bool SetIsotope(unsigned mass);
  double GetPartialCharge() const;
  bool SetPartialCharge(double charge);
  unsigned GetImplicitHCount() const;
  bool SetImplicitHCount(unsigned count);
  unsigned GetMapIdx() const;
  bool SetMapIdx(unsigned idx);
  const char* GetName() const;
  bool SetName(const std::string& name);
  const char* GetTypeName() const;
  bool SetType(const std::string& type);
  int GetIntType() const;
  bool SetIntType(int type);
  double GetRadius() const;
  bool SetRadius(double radius);
  unsigned GetRxnRole() const;
  bool SetRxnRole(unsigned role);
  bool IsAromatic() const;
  bool SetAromatic(bool aromatic);
  bool IsInRing() const;
  bool SetInRing(bool in_ring);
  bool IsChiral() const;
  bool SetChiral(bool chiral);
  bool IsHydrogen() const;
  bool IsDeleted() const;
  unsigned GetExplicitDegree() const;
  unsigned GetTotalDegree() const;
  bool IsConnected(const Tamrin::QvAtomBase* other) const;
  Tamrin::QvBondBase* GetBond(const Tamrin::QvAtomBase* nbr) const;
};

%nodefaultctor QvBondBase;
%nodefaultdtor QvBondBase;
%feature("docstring") QvBondBase "A bond of a molecule; made by QvMolBase.NewBond.";
class QvBondBase : public Sorvil::QvBase {
 public:
  unsigned GetIdx() const;
  Tamrin::QvAtomBase* GetBgn() const;
  Tamrin::QvAtomBase* GetEnd() const;
  Tamrin::QvAtomBase* GetNbr(const Tamrin::QvAtomBase* atom) const;
  bool SetBgn(Tamrin::QvAtomBase* atom);
  bool SetEnd(Tamrin::QvAtomBase* atom);
  unsigned GetOrder() const;
  bool SetOrder(unsigned order);
  unsigned GetIntType() const;
  bool SetIntType(unsigned type);
  const char* GetTypeName() const;
  bool SetType(const std::string& type);
  bool IsAromatic() const;
  bool SetAromatic(bool aromatic);
  bool IsInRing() const;
  bool SetInRing(bool in_ring);
  bool IsChiral() const;
  bool SetChiral(bool chiral);
  bool IsDeleted() const;
  void SwapEnds();
};

%nodefaultctor QvConfBase;
%nodefaultdtor QvConfBase;
%feature("docstring") QvConfBase "A conformer of a QvMol: its own coordinates, title, energy, dimension and data.";
class QvConfBase : public Sorvil::QvBase {
 public:
  unsigned GetIdx() const;
  const char* GetTitle() const;
  bool SetTitle(const std::string& title);
  float GetEnergy() const;
  bool SetEnergy(double energy);
  unsigned GetDimension() const;
  bool SetDimension(unsigned dimension);
  void ClearCoords();
  bool IsActive() const;
};

%nodefaultctor QvMolBase;
%nodefaultdtor QvMolBase;
%feature("docstring") QvMolBase "A molecule: atoms, bonds, coordinates, title, energy, dimension and data.

QvGraphMol and QvMol are the classes to create.";
class QvMolBase : public Sorvil::QvBase {
 public:
  unsigned NumAtoms() const;
  unsigned NumBonds() const;
  bool HasAtoms() const;
  unsigned GetMaxAtomIdx() const;
  unsigned GetMaxBondIdx() const;
  const char* GetTitle() const;
  bool SetTitle(const std::string& title);
  float GetEnergy() const;
  bool SetEnergy(double energy);
  unsigned GetDimension() const;
  bool SetDimension(unsigned dimension);
  Tamrin::QvAtomBase* NewAtom(unsigned atomic_num);
  Tamrin::QvAtomBase* NewAtom(const Tamrin::QvAtomBase& source);
  Tamrin::QvBondBase* NewBond(Tamrin::QvAtomBase* bgn, Tamrin::QvAtomBase* end, unsigned order);
  bool DeleteAtom(Tamrin::QvAtomBase* atom);
  bool DeleteBond(Tamrin::QvBondBase* bond);
  bool Sweep();
  void Clear();
  void ClearCoords();
  bool HasPerceived(unsigned mask) const;
  void SetPerceived(unsigned mask, bool on);
  void ClearPerceived();
};

%nodefaultctor QvMCMolBase;
%nodefaultdtor QvMCMolBase;
%feature("docstring") QvMCMolBase "A molecule with any number of conformers over one graph.

Molecule-level coordinates, energy and dimension are those of the active
conformer (the first one made, unless changed with SetActive).";
class QvMCMolBase : public QvMolBase {
 public:
  unsigned NumConfs() const;
  unsigned GetMaxConfIdx() const;
  Tamrin::QvConfBase* NewConf(const Tamrin::QvMolBase& mol);
  Tamrin::QvConfBase* NewConf(const Tamrin::QvConfBase& conf);
  bool DeleteConf(Tamrin::QvConfBase* conf);
  void DeleteConfs();
  Tamrin::QvConfBase* GetActive() const;
  bool SetActive(Tamrin::QvConfBase* conf);
  bool PushActive(Tamrin::QvConfBase* conf);
  bool PopActive();
};

%rename(QvGraphMol) QvGraphMolImpl;
%feature("docstring") QvGraphMolImpl "QvGraphMol()
QvGraphMol(source)

A single-conformer molecule, empty or a copy of `source` (a molecule, or a
conformer: the conformer's molecule with that conformer's coordinates).";
class QvGraphMolImpl : public QvMolBase {};

%feature("docstring") QvMol "QvMol()
QvMol(source)

A multi-conformer molecule, empty or a copy of `source` (every conformer of a
multi-conformer molecule; a single-conformer molecule becomes one conformer).";
class QvMol : public QvMCMolBase {
 public:
  QvMol();
  ~QvMol();
};

}  // namespace Tamrin

// Iterators: Python iterators over the live lists of a molecule or atom.

namespace tamrin_py {
%nodefaultctor AtomIter;
%nodefaultctor BondIter;
%nodefaultctor AtomBondIter;
%nodefaultctor NbrIter;
%nodefaultctor ConfIter;
struct AtomIter {};
struct BondIter {};
struct AtomBondIter {};
struct NbrIter {};
struct ConfIter {};
}  // namespace tamrin_py

%define TAMRIN_PY_ITER
  %pythoncode %{
    def __iter__(self):
        return self
  %}
%enddef

%rename(QvAtomIter) tamrin_py::AtomIter;
%extend tamrin_py::AtomIter {
  Tamrin::QvAtomBase* __next__() { return tamrin_py::NextUndeleted($self->mol->AtomList(), $self->pos); }
  TAMRIN_PY_ITER
}

%rename(QvBondIter) tamrin_py::BondIter;
%extend tamrin_py::BondIter {
  Tamrin::QvBondBase* __next__() { return tamrin_py::NextUndeleted($self->mol->BondList(), $self->pos); }
  TAMRIN_PY_ITER
}

%rename(QvAtomBondIter) tamrin_py::AtomBondIter;
%extend tamrin_py::AtomBondIter {
  Tamrin::QvBondBase* __next__() { return tamrin_py::NextAtomBond(*$self); }
  TAMRIN_PY_ITER
}

%rename(QvNbrIter) tamrin_py::NbrIter;
%extend tamrin_py::NbrIter {
  Tamrin::QvAtomBase* __next__() { return tamrin_py::NextAtomBond(*$self)->GetNbr($self->atom); }
  TAMRIN_PY_ITER
}

%rename(QvConfIter) tamrin_py::ConfIter;
%extend tamrin_py::ConfIter {
  Tamrin::QvConfBase* __next__() {
    const Tamrin::QvConfVector& confs = $self->mol->ConfList();
    if ($self->pos >= confs.size()) tamrin_py::StopIteration();
    return confs[$self->pos++];
  }
  TAMRIN_PY_ITER
}

// Equality and hashing by identity of the native record, so that two
// wrappers of one atom compare equal.
%define TAMRIN_RECORD_IDENTITY
  %pythoncode %{
    def __eq__(self, other):
        return type(other) is type(self) and int(self.this) == int(other.this)

    def __ne__(self, other):
        return not self == other

    def __hash__(self):
        return hash(int(self.this))

    def GetParent(self):
        """The molecule this belongs to."""
        return self._mol
  %}
%enddef

%newobject Tamrin::QvAtomBase::_Bonds;
%newobject Tamrin::QvAtomBase::_Nbrs;
%extend Tamrin::QvAtomBase {
  tamrin_py::AtomBondIter* _Bonds() { return new tamrin_py::AtomBondIter{$self->GetParent(), $self, 0}; }
  tamrin_py::NbrIter* _Nbrs() { return new tamrin_py::NbrIter{$self->GetParent(), $self, 0}; }

  %feature("docstring") GetCoords "The atom's coordinates as a tuple (x, y, z).";
  PyObject* GetCoords() const { return tamrin_py::GetAtomCoords(*$self->GetParent(), $self); }

  %feature("docstring") SetCoords "Sets the atom's coordinates from three numbers (x, y, z).";
  bool SetCoords(PyObject* xyz) {
    double values[3];
    tamrin_py::ReadTriple(xyz, values);
    return $self->SetCoords(values);
  }

  %pythoncode %{
    def GetBonds(self):
        """The atom's undeleted bonds, in the order they were made."""
        return self._Bonds()

    def GetAtoms(self):
        """The atoms bonded to this one, in bond order."""
        return self._Nbrs()

    def __repr__(self):
        try:
            state = " deleted" if self.IsDeleted() else ""
            return f"<QvAtomBase idx={self.GetIdx()} atomic_num={self.GetAtomicNum()}{state}>"
        except ValueError:
            return "<QvAtomBase destroyed>"
  %}
  TAMRIN_RECORD_IDENTITY
}

%extend Tamrin::QvBondBase {
  %pythoncode %{
    def __repr__(self):
        try:
            ends = "-".join("?" if a is None else str(a.GetIdx()) for a in (self.GetBgn(), self.GetEnd()))
            state = " deleted" if self.IsDeleted() else ""
            return f"<QvBondBase idx={self.GetIdx()} {ends} order={self.GetOrder()}{state}>"
        except ValueError:
            return "<QvBondBase destroyed>"
  %}
  TAMRIN_RECORD_IDENTITY
}

%extend Tamrin::QvConfBase {
  %feature("docstring") GetCoords "GetCoords() -> list of (x, y, z), one per atom index
GetCoords(atom) -> (x, y, z)";
  PyObject* GetCoords() const {
    return tamrin_py::GetAllCoords(*$self, $self->GetParent()->GetMaxAtomIdx());
  }
  PyObject* GetCoords(const Tamrin::QvAtomBase* atom) const {
    return tamrin_py::GetAtomCoords(*$self, atom);
  }

  %feature("docstring") SetCoords "SetCoords(coords): one (x, y, z) per atom index up to GetMaxAtomIdx(), or a flat list
SetCoords(atom, xyz)";
  bool SetCoords(PyObject* coords) {
    const auto xyz = tamrin_py::ReadAllCoords(coords, $self->GetParent()->GetMaxAtomIdx());
    return $self->SetCoords(xyz.data());
  }
  bool SetCoords(const Tamrin::QvAtomBase* atom, PyObject* xyz) {
    double values[3];
    tamrin_py::ReadTriple(xyz, values);
    return $self->SetCoords(atom, values);
  }

  %pythoncode %{
    def __repr__(self):
        try:
            return f"<QvConfBase idx={self.GetIdx()} title={self.GetTitle()!r}>"
        except ValueError:
            return "<QvConfBase destroyed>"
  %}
  TAMRIN_RECORD_IDENTITY
}

%newobject Tamrin::QvMolBase::_Atoms;
%newobject Tamrin::QvMolBase::_Bonds;
%extend Tamrin::QvMolBase {
  tamrin_py::AtomIter* _Atoms() { return new tamrin_py::AtomIter{$self, 0}; }
  tamrin_py::BondIter* _Bonds() { return new tamrin_py::BondIter{$self, 0}; }
  Tamrin::QvBondBase* _BondBetween(const Tamrin::QvAtomBase* a, const Tamrin::QvAtomBase* b) const {
    return $self->GetBond(a, b);
  }

  %feature("docstring") GetCoords "GetCoords() -> list of (x, y, z), one per atom index up to GetMaxAtomIdx()
GetCoords(atom) -> (x, y, z)

Coordinates never set read as (0.0, 0.0, 0.0).";
  PyObject* GetCoords() const { return tamrin_py::GetAllCoords(*$self, $self->GetMaxAtomIdx()); }
  PyObject* GetCoords(const Tamrin::QvAtomBase* atom) const {
    return tamrin_py::GetAtomCoords(*$self, atom);
  }

  %feature("docstring") SetCoords "SetCoords(coords): one (x, y, z) per atom index up to GetMaxAtomIdx(), or a flat list
SetCoords(atom, xyz)";
  bool SetCoords(PyObject* coords) {
    const auto xyz = tamrin_py::ReadAllCoords(coords, $self->GetMaxAtomIdx());
    return $self->SetCoords(xyz.data());
  }
  bool SetCoords(const Tamrin::QvAtomBase* atom, PyObject* xyz) {
    double values[3];
    tamrin_py::ReadTriple(xyz, values);
    return $self->SetCoords(atom, values);
  }

  %pythoncode %{
    def GetAtoms(self, pred=None):
        """Undeleted atoms in creation order; with pred, those for which pred(atom) is true."""
        atoms = self._Atoms()
        return atoms if pred is None else filter(pred, atoms)

    def GetBonds(self, pred=None):
        """Undeleted bonds in creation order; with pred, those for which pred(bond) is true."""
        bonds = self._Bonds()
        return bonds if pred is None else filter(pred, bonds)

    def GetAtom(self, pred):
        """The first undeleted atom for which pred(atom) is true, or None."""
        return next(self.GetAtoms(pred), None)

    def GetBond(self, a, b=None):
        """GetBond(atom_a, atom_b): the bond joining two atoms, or None.
        GetBond(pred): the first undeleted bond for which pred(bond) is true, or None."""
        if b is None and callable(a):
            return next(self.GetBonds(a), None)
        return self._BondBetween(a, b)

    def __copy__(self):
        return type(self)(self)

    def __deepcopy__(self, memo):
        return type(self)(self)
  %}
}

%newobject Tamrin::QvMCMolBase::_Confs;
%extend Tamrin::QvMCMolBase {
  tamrin_py::ConfIter* _Confs() { return new tamrin_py::ConfIter{$self, 0}; }

  %feature("docstring") NewConf "NewConf() -> conformer with every coordinate 0
NewConf(coords) -> conformer from one (x, y, z) per atom index (or a flat list)
NewConf(mol) -> conformer from a molecule with the same atoms in the same order
NewConf(conf) -> copy of a conformer of this or a like molecule

The first conformer made becomes the active one. A molecule or conformer with
another number of atoms gives None and a warning.";
  Tamrin::QvConfBase* NewConf() { return $self->NewConf(); }
  Tamrin::QvConfBase* NewConf(PyObject* coords) {
    const auto xyz = tamrin_py::ReadAllCoords(coords, $self->GetMaxAtomIdx());
    return $self->NewConf(xyz.data());
  }

  %pythoncode %{
    def GetConfs(self):
        """The conformers in the order they were made."""
        return self._Confs()
  %}
}

// All constructors here, so that the renamed class keeps one overload set.
// Molecules come from the bin the readers share and go back to it: Python
// holds no pointer into a molecule that is dropped (atoms, bonds and
// iterators keep theirs alive).
%extend Tamrin::QvGraphMolImpl {
  QvGraphMolImpl() { return Tamrin::QvTakeMol().release(); }
  QvGraphMolImpl(const Tamrin::QvMolBase& source) {
    auto mol = Tamrin::QvTakeMol();
    mol->Copy(source);
    return mol.release();
  }
  QvGraphMolImpl(const Tamrin::QvConfBase& conf) {
    auto mol = Tamrin::QvTakeMol();
    Tamrin::QvCopyConf(*mol, conf);
    return mol.release();
  }
  ~QvGraphMolImpl() { Tamrin::QvRecycleMol(std::unique_ptr<Tamrin::QvGraphMolImpl>($self)); }
}

%extend Tamrin::QvMol {
  QvMol(const Tamrin::QvMolBase& source) {
    auto mol = std::make_unique<Tamrin::QvMol>();
    mol->Copy(source);
    return mol.release();
  }
}

// nimbrel.velk makes, and refills, the molecules it reads through this
// capsule, so that they are the objects this module's constructor would
// have made.
%{
#include "binding/graphmol_objects.h"

namespace tamrin_py {
// The molecule class and its `this` slot (set and read through the slot's
// descriptor rather than by an attribute name looked up every time), found
// once.
struct GraphMolClass {
  PyTypeObject* cls = nullptr;
  newfunc make = nullptr;
  PyObject* this_descriptor = nullptr;
  descrgetfunc get_this = nullptr;
  descrsetfunc set_this = nullptr;
  // Where an object keeps its weak references (the class's
  // __weakrefoffset__); 0 when it cannot have any.
  Py_ssize_t weaklist_offset = 0;
};

// Dropping a molecule object: SWIG's generic destroy converts its argument
// back to a molecule pointer, type checks and all, before the destructor
// above runs; the object being dropped is known to hold one, so this puts
// the molecule back into the bin at once. Called as a METH_O function by
// SWIG's deallocator, which owns the object.
PyObject* DropGraphMol(PyObject*, PyObject* native) {
  auto* object = reinterpret_cast<SwigPyObject*>(native);
  object->own = 0;
  Tamrin::QvRecycleMol(std::unique_ptr<Tamrin::QvGraphMolImpl>(static_cast<Tamrin::QvGraphMolImpl*>(object->ptr)));
  Py_RETURN_NONE;
}

// The class `cls` and its slots into `graph_mol`; false when any is missing.
bool LookUp(PyObject* cls, GraphMolClass& graph_mol) {
  graph_mol.cls = reinterpret_cast<PyTypeObject*>(cls);
  graph_mol.make = reinterpret_cast<newfunc>(PyType_GetSlot(graph_mol.cls, Py_tp_new));
  graph_mol.this_descriptor = PyObject_GetAttrString(cls, "this");
  PyObject* offset = PyObject_GetAttrString(cls, "__weakrefoffset__");
  graph_mol.weaklist_offset = offset ? PyLong_AsSsize_t(offset) : -1;
  Py_XDECREF(offset);
  if (!graph_mol.make || !graph_mol.this_descriptor || graph_mol.weaklist_offset == -1) return false;
  PyTypeObject* slot_type = Py_TYPE(graph_mol.this_descriptor);
  graph_mol.get_this = reinterpret_cast<descrgetfunc>(PyType_GetSlot(slot_type, Py_tp_descr_get));
  graph_mol.set_this = reinterpret_cast<descrsetfunc>(PyType_GetSlot(slot_type, Py_tp_descr_set));
  return graph_mol.get_this && graph_mol.set_this;
}

// Makes DropGraphMol the molecule class's destroy function; false when it
// could not be made (the generic one stays).
bool UseDirectDrop(SwigPyClientData& data) {
  static PyMethodDef drop = {"_drop_graph_mol", DropGraphMol, METH_O, nullptr};
  PyObject* function = PyCFunction_New(&drop, nullptr);
  if (!function) {
    PyErr_Clear();
    return false;
  }
  Py_XDECREF(data.destroy);
  data.destroy = function;
  data.delargs = 0;
  return true;
}

// The class as SWIG registered it, or null (with no error set) when it is
// not registered yet or has no `this` slot: molecules are then made the
// generic way. SWIG makes the class data when the shadow module registers
// the class, after this module's init has run, so the first molecule read
// looks.
const GraphMolClass* FindGraphMolClass() {
  static const GraphMolClass* found = nullptr;
  static bool looked = false;
  if (looked) return found;
  auto* data = static_cast<SwigPyClientData*>(SWIGTYPE_p_Tamrin__QvGraphMolImpl->clientdata);
  if (!data) return nullptr;
  looked = true;
  static GraphMolClass graph_mol;
  if (!data->newraw && data->newargs && LookUp(data->newargs, graph_mol) && UseDirectDrop(*data)) found = &graph_mol;
  PyErr_Clear();
  return found;
}

// What SWIG_NewPointerObj does for a class with a shadow, without what it
// adds per call there: an empty argument dict, a fresh "this" name and a
// PyType_Modified that empties the class's attribute cache for every object
// made. Reading makes one object per record.
PyObject* WrapGraphMol(Tamrin::QvGraphMolImpl* mol) {
  const GraphMolClass* graph_mol = FindGraphMolClass();
  if (!graph_mol) return SWIG_NewPointerObj(SWIG_as_voidptr(mol), SWIGTYPE_p_Tamrin__QvGraphMolImpl, SWIG_POINTER_OWN);
  static PyObject* no_args = PyTuple_New(0);
  if (!no_args) return nullptr;
  PyObject* native = SwigPyObject_New(SWIG_as_voidptr(mol), SWIGTYPE_p_Tamrin__QvGraphMolImpl, SWIG_POINTER_OWN);
  if (!native) return nullptr;
  PyObject* inst = graph_mol->make(graph_mol->cls, no_args, nullptr);
  if (inst && graph_mol->set_this(graph_mol->this_descriptor, inst, native) != 0) Py_CLEAR(inst);
  Py_DECREF(native);
  return inst;
}

// The native half of a molecule object of the class the readers make, when
// `object` has nothing anyone could still see: the caller's reference is the
// only one to it, and its slot's the only one to the native half, which owns
// its molecule; no attributes, no weak references.
SwigPyObject* UnseenNative(PyObject* object, const GraphMolClass& graph_mol) {
  if (Py_REFCNT(object) != 1 || Py_TYPE(object) != graph_mol.cls) return nullptr;
  if (graph_mol.weaklist_offset && *reinterpret_cast<PyObject**>(reinterpret_cast<char*>(object) +
                                                                 graph_mol.weaklist_offset))
    return nullptr;
  PyObject* dict = PyObject_GenericGetDict(object, nullptr);
  const bool attributes = !dict || PyDict_Size(dict) != 0;
  Py_XDECREF(dict);
  PyObject* native = graph_mol.get_this(graph_mol.this_descriptor, object, nullptr);
  if (!native || attributes) {
    PyErr_Clear();
    Py_XDECREF(native);
    return nullptr;
  }
  auto* swig = reinterpret_cast<SwigPyObject*>(native);
  const bool unseen = Py_REFCNT(native) == 2 && Py_TYPE(native) == SwigPyObject_Type() &&
                      swig->ty == SWIGTYPE_p_Tamrin__QvGraphMolImpl && swig->own && !swig->next && swig->ptr;
  Py_DECREF(native);
  return unseen ? swig : nullptr;
}

Tamrin::QvGraphMolImpl* TakeGraphMol(PyObject* object) {
  const GraphMolClass* graph_mol = FindGraphMolClass();
  SwigPyObject* native = graph_mol ? UnseenNative(object, *graph_mol) : nullptr;
  if (!native) return nullptr;
  native->own = 0;
  return static_cast<Tamrin::QvGraphMolImpl*>(std::exchange(native->ptr, nullptr));
}

// Only for an object `take` emptied: its native half is there and no one
// else's.
PyObject* RefillGraphMol(PyObject* object, Tamrin::QvGraphMolImpl* mol) {
  const GraphMolClass& graph_mol = *FindGraphMolClass();
  PyObject* native = graph_mol.get_this(graph_mol.this_descriptor, object, nullptr);
  auto* swig = reinterpret_cast<SwigPyObject*>(native);
  swig->ptr = mol;
  swig->own = SWIG_POINTER_OWN;
  Py_DECREF(native);
  return object;
}

const GraphMolObjects kGraphMolObjects = {WrapGraphMol, TakeGraphMol, RefillGraphMol};
}  // namespace tamrin_py
%}
%init %{
  {
    PyObject* capsule = PyCapsule_New(const_cast<tamrin_py::GraphMolObjects*>(&tamrin_py::kGraphMolObjects),
                                      tamrin_py::kGraphMolObjectsCapsule, nullptr);
    if (!capsule || PyModule_AddObject(m, "_graph_mol_objects", capsule) != 0) {
      Py_XDECREF(capsule);
      return -1;
    }
  }
%}

// Tags and tagged data on any molecule, atom, bond or conformer.

%feature("docstring") QvGetTag "The number of a tag name, registered on first use; '' is 0.";
%feature("docstring") QvGetTagName "The name of a tag number; '' for 0 and numbers never registered.";
%feature("docstring") QvGetSDData "The value of the first SD data pair named `tag`; '' when there is none.";
%feature("docstring") QvSetSDData "Replaces the value of the first SD pair named `tag`, or appends a new pair.";
%feature("docstring") QvAddSDData "Appends an SD pair, even when the name is present already.";
%feature("docstring") QvHasSDData "Whether an SD pair named `tag` exists.";
%feature("docstring") QvDeleteSDData "Removes every SD pair named `tag`; False when there was none.";
%feature("docstring") QvClearSDData "Removes every SD pair.";
%feature("docstring") QvGetSDDataPairs "The SD pairs as a list of (tag, value) in order.";
%feature("docstring") QvGetData "The value of the first data item under the tag name, or None.

Values of other kinds than bool, int, float and str raise TypeError.";
%feature("docstring") QvSetData "Sets the first data item under the tag name (bool, int, float or str), or appends one.

Returns False, with the warning 'data type mismatch found when using generic
data', when the item holds another type.";
%feature("docstring") QvAddData "Appends a data item under the tag name (bool, int, float or str).";
%feature("docstring") QvHasData "Whether a data item with the tag name exists.";
%feature("docstring") QvDeleteData "Removes every data item with the tag name; False when there was none.";
%feature("docstring") QvGetDataPairs "The data items with named tags and bool, int, float or str values, as (name, value) in order.";

%inline %{
// In a namespace of their own: unqualified calls would also find the
// toolkit's functions of the same names.
namespace tamrin_api {
unsigned QvGetTag(const std::string& name) { return Sorvil::QvGetTag(name); }
const char* QvGetTagName(unsigned tag) { return Sorvil::QvGetTagName(tag); }

std::string QvGetSDData(const Sorvil::QvBase& obj, const std::string& tag) {
  return Sorvil::QvGetSDData(obj, tag);
}
void QvSetSDData(Sorvil::QvBase& obj, const std::string& tag, const std::string& value) {
  Sorvil::QvSetSDData(obj, tag, value);
}
void QvAddSDData(Sorvil::QvBase& obj, const std::string& tag, const std::string& value) {
  Sorvil::QvAddSDData(obj, tag, value);
}
bool QvHasSDData(const Sorvil::QvBase& obj, const std::string& tag) { return Sorvil::QvHasSDData(obj, tag); }
bool QvDeleteSDData(Sorvil::QvBase& obj, const std::string& tag) { return Sorvil::QvDeleteSDData(obj, tag); }
void QvClearSDData(Sorvil::QvBase& obj) { Sorvil::QvClearSDData(obj); }
PyObject* QvGetSDDataPairs(const Sorvil::QvBase& obj) { return tamrin_py::SDPairs(obj); }

PyObject* QvGetData(const Sorvil::QvBase& obj, const std::string& name) { return tamrin_py::GetData(obj, name); }
bool QvSetData(Sorvil::QvBase& obj, const std::string& name, PyObject* value) {
  return obj.SetData(tamrin_py::DataItem(Sorvil::QvGetTag(name), value));
}
void QvAddData(Sorvil::QvBase& obj, const std::string& name, PyObject* value) {
  obj.AddData(tamrin_py::DataItem(Sorvil::QvGetTag(name), value));
}
bool QvHasData(const Sorvil::QvBase& obj, const std::string& name) { return obj.HasData(Sorvil::QvGetTag(name)); }
bool QvDeleteData(Sorvil::QvBase& obj, const std::string& name) { return obj.DeleteData(Sorvil::QvGetTag(name)); }
PyObject* QvGetDataPairs(const Sorvil::QvBase& obj) { return tamrin_py::DataPairs(obj); }
}  // namespace tamrin_api
%}

// Properties, mappings, repr and equality of molecules, atoms and bonds.
%pythoncode %{
from ._molface import install as _install_face
_install_face((QvMolBase, QvMCMolBase, QvGraphMol, QvMol), QvAtomBase, QvBondBase)
del _install_face

from ._pickling import register as _register_pickling
_register_pickling(QvGraphMol, QvMol)
del _register_pickling
%}

// 2D depiction.
%{
#include "tamrin/perception/layout2d.h"
%}
%feature("docstring") generate_2d_coordinates "generate_2d_coordinates(mol, options=0) -> bool

Gives every atom of `mol` fresh 2D coordinates (z = 0) and sets its dimension
to 2: ring systems and chains without overlapping atoms, bonds 1.5 Angstrom
long, disconnected parts side by side, stored cis/trans configurations drawn
as they are. `options` 0x200 skips the coordgen library for the toolkit's own
plainer layout, about ten times faster. False, with
the coordinates unchanged, when the molecule takes no coordinates (a QvMol
without an active conformer).";
%inline %{
namespace tamrin_api {
bool generate_2d_coordinates(Tamrin::QvMolBase& mol, unsigned options = 0) {
  return Tamrin::QvGenerate2DCoordinates(mol, options);
}
}  // namespace tamrin_api
%}

// Fingerprints and the molecule database; nimbrel.searchdb is their face.
%{
#include "tamrin/search/database.h"
#include "tamrin/search/fingerprint.h"

#include <cstring>

namespace tamrin_py {
PyObject* FingerprintBytes(const std::uint64_t* words) {
  return PyBytes_FromStringAndSize(reinterpret_cast<const char*>(words), sizeof(Tamrin::QvFingerprint));
}
bool FingerprintFrom(PyObject* obj, Tamrin::QvFingerprint& fp) {
  char* data = nullptr;
  Py_ssize_t n = 0;
  if (!PyBytes_Check(obj) || PyBytes_AsStringAndSize(obj, &data, &n) != 0 ||
      n != static_cast<Py_ssize_t>(sizeof fp)) {
    PyErr_Format(PyExc_ValueError, "a fingerprint is a bytes object of %d bytes", static_cast<int>(sizeof fp));
    return false;
  }
  std::memcpy(fp.data(), data, sizeof fp);
  return true;
}
PyObject* RecordNumbers(const std::vector<std::size_t>& hits) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(hits.size()));
  for (std::size_t i = 0; list && i < hits.size(); ++i)
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), PyLong_FromSize_t(hits[i]));
  return list;
}
PyObject* Scored(const std::vector<std::pair<std::size_t, double>>& hits) {
  PyObject* list = PyList_New(static_cast<Py_ssize_t>(hits.size()));
  for (std::size_t i = 0; list && i < hits.size(); ++i)
    PyList_SET_ITEM(list, static_cast<Py_ssize_t>(i), Py_BuildValue("(nd)", static_cast<Py_ssize_t>(hits[i].first),
                                                                    hits[i].second));
  return list;
}
}  // namespace tamrin_py
%}
%rename(_screen_fingerprint) tamrin_api::screen_fingerprint;
%rename(_circular_fingerprint) tamrin_api::circular_fingerprint;
%rename(_tanimoto) tamrin_api::tanimoto;
%rename(_MoleculeDB) tamrin_api::MoleculeDB;
%rename(_MoleculeDBWriter) tamrin_api::MoleculeDBWriter;
%ignore tamrin_api::MoleculeDB::database;
%inline %{
namespace tamrin_api {
PyObject* screen_fingerprint(const Tamrin::QvMolBase& mol) {
  return tamrin_py::FingerprintBytes(Tamrin::QvScreenFingerprint(mol).data());
}
PyObject* circular_fingerprint(const Tamrin::QvMolBase& mol) {
  return tamrin_py::FingerprintBytes(Tamrin::QvCircularFingerprint(mol).data());
}
PyObject* tanimoto(PyObject* a, PyObject* b) {
  Tamrin::QvFingerprint x, y;
  if (!tamrin_py::FingerprintFrom(a, x) || !tamrin_py::FingerprintFrom(b, y)) return nullptr;
  return PyFloat_FromDouble(Tamrin::QvTanimoto(x, y));
}

class MoleculeDB {
 public:
  // An error message, empty when the file opened.
  std::string open(const std::string& path) {
    std::string error;
    return db_.Open(path, error) ? std::string() : error;
  }
  void close() { db_.Close(); }
  size_t size() const { return db_.Size(); }
  bool get(size_t record, Tamrin::QvMolBase& mol) const { return db_.Get(record, mol); }
  PyObject* stored(size_t record, bool screen) const {
    Tamrin::QvFingerprint gathered;
    const std::uint64_t* words =
        screen ? (db_.Screen(record, gathered) ? gathered.data() : nullptr) : db_.Similarity(record);
    if (!words) {
      PyErr_SetString(PyExc_IndexError, "record number out of range");
      return nullptr;
    }
    return tamrin_py::FingerprintBytes(words);
  }
  PyObject* candidates(PyObject* screen, size_t begin, size_t end) const {
    Tamrin::QvFingerprint fp;
    if (!tamrin_py::FingerprintFrom(screen, fp)) return nullptr;
    std::vector<size_t> hits;
    db_.Candidates(fp, begin, end, hits);
    return tamrin_py::RecordNumbers(hits);
  }
  PyObject* similar(PyObject* query, double threshold, size_t begin, size_t end) const {
    Tamrin::QvFingerprint fp;
    if (!tamrin_py::FingerprintFrom(query, fp)) return nullptr;
    std::vector<std::pair<size_t, double>> hits;
    db_.Similar(fp, threshold, begin, end, hits);
    return tamrin_py::Scored(hits);
  }
  // Every record's score, as the bytes of an array of doubles.
  PyObject* scores(PyObject* query) const {
    Tamrin::QvFingerprint fp;
    if (!tamrin_py::FingerprintFrom(query, fp)) return nullptr;
    PyObject* out = PyByteArray_FromStringAndSize(nullptr, static_cast<Py_ssize_t>(db_.Size() * sizeof(double)));
    if (out) db_.Scores(fp, reinterpret_cast<double*>(PyByteArray_AsString(out)));
    return out;
  }
  PyObject* top(PyObject* query, size_t k) const {
    Tamrin::QvFingerprint fp;
    if (!tamrin_py::FingerprintFrom(query, fp)) return nullptr;
    return tamrin_py::Scored(db_.TopK(fp, k));
  }
  const Tamrin::QvMoleculeDB& database() const { return db_; }

 private:
  Tamrin::QvMoleculeDB db_;
};

class MoleculeDBWriter {
 public:
  std::string open(const std::string& path, bool append) {
    std::string error;
    return writer_.Open(path, append, error) ? std::string() : error;
  }
  bool add(const Tamrin::QvMolBase& mol) { return writer_.Add(mol); }
  std::string error() const { return writer_.Error(); }
  size_t count() const { return writer_.Count(); }
  std::string close() {
    std::string error;
    return writer_.Close(error) ? std::string() : error;
  }

 private:
  Tamrin::QvMoleculeDBWriter writer_;
};
}  // namespace tamrin_api
%}

// Substructure queries; nimbrel.search is the public face.
%{
#include <stdexcept>
#include "tamrin/search/substructure.h"
%}
%rename(_SubstructQuery) tamrin_api::SubstructQuery;
%inline %{
namespace tamrin_api {
class SubstructQuery {
 public:
  explicit SubstructQuery(const std::string& smarts) {
    std::string error;
    if (!query_.FromSmarts(smarts, &error)) throw std::invalid_argument(error);
  }
  std::string Smarts() const { return query_.Smarts(); }
  PyObject* Screen() const { return tamrin_py::FingerprintBytes(Tamrin::QvScreenFingerprint(query_.Mol()).data()); }
  // The records of [begin, end) of a database that the query matches.
  PyObject* Search(const MoleculeDB& db, size_t begin, size_t end, bool stereo = false) const {
    std::vector<size_t> hits;
    db.database().Search(query_, begin, end, hits, {stereo});
    return tamrin_py::RecordNumbers(hits);
  }
  bool Matches(const Tamrin::QvMolBase& mol, bool stereo = false) const {
    return Tamrin::QvMatches(query_, mol, {stereo});
  }
  PyObject* Find(const Tamrin::QvMolBase& mol, bool unique, unsigned limit, bool stereo = false) const {
    const auto matches = Tamrin::QvFindMatches(query_, mol, limit, unique, {stereo});
    PyObject* list = PyList_New(Py_ssize_t(matches.size()));
    if (!list) throw tamrin_py::PythonErrorSet();
    for (size_t i = 0; i < matches.size(); ++i) {
      PyObject* tuple = PyTuple_New(Py_ssize_t(matches[i].size()));
      if (!tuple) {
        Py_DECREF(list);
        throw tamrin_py::PythonErrorSet();
      }
      for (size_t j = 0; j < matches[i].size(); ++j)
        PyTuple_SetItem(tuple, Py_ssize_t(j), PyLong_FromUnsignedLong(matches[i][j]));
      PyList_SetItem(list, Py_ssize_t(i), tuple);
    }
    return list;
  }
  // Positions of the matching molecules of an iterable, the loop kept out
  // of Python. A list or tuple is matched as a whole (QvFilter, which reads
  // ahead); other iterables one molecule at a time as they come.
  PyObject* Filter(PyObject* mols, bool stereo = false) const {
    static swig_type_info* type = SWIG_TypeQuery("Tamrin::QvMolBase *");
    const bool list = PyList_Check(mols);
    if (list || PyTuple_Check(mols)) {
      const auto item = [&](Py_ssize_t i) { return list ? PyList_GetItem(mols, i) : PyTuple_GetItem(mols, i); };
      const Py_ssize_t n = list ? PyList_Size(mols) : PyTuple_Size(mols);
      std::vector<const Tamrin::QvMolBase*> ptrs(static_cast<size_t>(n));
      for (Py_ssize_t i = 0; i < n; ++i) {
        if (i + 8 < n) __builtin_prefetch(item(i + 8));
        void* ptr = nullptr;
        if (!SWIG_IsOK(SWIG_ConvertPtr(item(i), &ptr, type, 0)) || !ptr) {
          PyErr_Format(PyExc_TypeError, "item %ld is not a molecule", static_cast<long>(i));
          throw tamrin_py::PythonErrorSet();
        }
        ptrs[static_cast<size_t>(i)] = static_cast<const Tamrin::QvMolBase*>(ptr);
      }
      const std::vector<size_t> hits = Tamrin::QvFilter(query_, ptrs, {stereo});
      return tamrin_py::RecordNumbers(hits);
    }
    PyObject* it = PyObject_GetIter(mols);
    if (!it) throw tamrin_py::PythonErrorSet();
    PyObject* out = PyList_New(0);
    long pos = 0;
    for (PyObject* item; out && (item = PyIter_Next(it)); ++pos) {
      void* ptr = nullptr;
      const bool ok = SWIG_IsOK(SWIG_ConvertPtr(item, &ptr, type, 0)) && ptr;
      Py_DECREF(item);
      if (!ok) {
        PyErr_Format(PyExc_TypeError, "item %ld is not a molecule", pos);
        Py_CLEAR(out);
        break;
      }
      if (Tamrin::QvMatches(query_, *static_cast<const Tamrin::QvMolBase*>(ptr), {stereo})) {
        PyObject* index = PyLong_FromLong(pos);
        if (!index || PyList_Append(out, index) < 0) Py_CLEAR(out);
        Py_XDECREF(index);
      }
    }
    Py_DECREF(it);
    if (out && PyErr_Occurred()) Py_CLEAR(out);
    if (!out) throw tamrin_py::PythonErrorSet();
    return out;
  }

 private:
  Tamrin::QvQuery query_;
};
}  // namespace tamrin_api
%}

// The public names; the iterator classes are reached through the molecule.
%pythoncode %{
__all__ = [
    "QvAddData", "QvAddSDData", "QvAtomBase", "QvBase", "QvBondBase", "QvClearSDData", "QvConfBase",
    "QvDeleteData", "QvDeleteSDData", "QvGetData", "QvGetDataPairs", "QvGetSDData", "QvGetSDDataPairs",
    "QvGetTag", "QvGetTagName", "QvGraphMol", "QvHasData", "QvHasSDData", "QvMCMolBase", "QvMol", "QvMolBase",
    "QvPerceivedAromaticity", "QvPerceivedAtomStereo", "QvPerceivedBondStereo", "QvPerceivedEnergy",
    "QvPerceivedHybridization", "QvPerceivedRings", "QvSetData", "QvSetSDData", "generate_2d_coordinates",
]
%}
