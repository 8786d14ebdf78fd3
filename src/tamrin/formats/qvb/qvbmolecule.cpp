// Molecule, multi-conformer and conformer records: their payloads, the read
// functions the default handler registers, and the record writers.
#include <cmath>
#include <memory>
#include <vector>

#include <zstd.h>

#include "pellar/halffloat.h"
#include "pellar/qvgzstream.h"
#include "pellar/qvsstream.h"
#include "sorvil/error/errorhandler.h"
#include "tamrin/formats/qvb/qvb.h"
#include "tamrin/formats/qvb/qvbdata.h"
#include "tamrin/formats/qvb/qvbpayload.h"
#include "tamrin/model/model.h"

namespace Tamrin {

using Sorvil::QVBCursor;
using Sorvil::QVBReturn;
using Sorvil::QvBinaryIOHandler;
using Sorvil::QvReadFxn;

namespace {

using namespace qvb;

constexpr QVBReturn kOk = Sorvil::QVBSuccess;
constexpr QVBReturn kCheck = Sorvil::QVBCheckFailed;
constexpr QVBReturn kSize = Sorvil::QVBIncorrectSize;

// Perception bits arrive with the connection table but are applied when the
// enclosing molecule record is complete: setting coordinates and flags on
// the way clears them.
thread_local unsigned pending_perceived = 0;

float Swapped(float v) {
  std::uint32_t bits = 0;
  std::memcpy(&bits, &v, sizeof bits);
  bits = __builtin_bswap32(bits);
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

// ---- connection table ----

constexpr unsigned kAromatic = 1;
constexpr unsigned kInRing = 2;

std::string CTPayload(const QvMolBase& mol) {
  std::string out;
  Bytes b(out);
  b.u8(kVersion);
  b.var(mol.NumAtoms());
  b.var(mol.NumBonds());
  unsigned perceived = 0;
  for (unsigned bit = 1; bit != 0; bit <<= 1)
    if (mol.HasPerceived(bit)) perceived |= bit;
  b.var(perceived);
  std::vector<unsigned> position(mol.GetMaxAtomIdx());
  unsigned next = 0;
  for (const QvAtomBase& atom : mol.GetAtoms()) {
    position[atom.GetIdx()] = next++;
    b.var(atom.GetAtomicNum());
    b.var(atom.GetIsotope());
    b.zig(atom.GetFormalCharge());
    b.u8(atom.GetImplicitHCount());
    b.u8(atom.GetFlag());
    b.u8((atom.IsAromatic() ? kAromatic : 0) | (atom.IsInRing() ? kInRing : 0));
    b.var(atom.GetMapIdx());
    b.var(atom.GetAux());
  }
  for (const QvBondBase& bond : mol.GetBonds()) {
    b.var(position[bond.GetBgn()->GetIdx()]);
    b.var(position[bond.GetEnd()->GetIdx()]);
    b.var(bond.GetOrder());
    b.u8((bond.IsAromatic() ? kAromatic : 0) | (bond.IsInRing() ? kInRing : 0));
    b.var(bond.GetIntType());
  }
  return out;
}

// The smallest encodings: an atom takes 8 bytes, a bond 5.
constexpr std::uint64_t kMinAtomBytes = 8;
constexpr std::uint64_t kMinBondBytes = 5;

QVBReturn ReadCT(QVBCursor& in, QvMolBase& mol, const QvBinaryIOHandler&) {
  unsigned version = 0;
  std::uint64_t atoms = 0;
  std::uint64_t bonds = 0;
  unsigned perceived = 0;
  if (!U8(in, version) || version != kVersion) return kCheck;
  if (!Var(in, atoms) || !Var(in, bonds) || !Var32(in, perceived)) return kSize;
  if (mol.HasAtoms()) return kCheck;
  if (atoms > in.left() / kMinAtomBytes || bonds > (in.left() - atoms * kMinAtomBytes) / kMinBondBytes) return kSize;
  // The counts are within what the bytes left can hold.
  if (auto* graph = Sorvil::QvCast<QvMolBaseImpl>(&mol))
    graph->Reserve(static_cast<unsigned>(atoms), static_cast<unsigned>(bonds));
  else if (auto* mc = Sorvil::QvCast<QvMol>(&mol))
    mc->Reserve(static_cast<unsigned>(atoms), static_cast<unsigned>(bonds));
  // Kept per thread: a file of small molecules allocates this once.
  thread_local std::vector<QvAtomBase*> made;
  made.clear();
  made.reserve(static_cast<std::size_t>(atoms));
  for (std::uint64_t i = 0; i < atoms; ++i) {
    unsigned atomic_num = 0, isotope = 0, hydrogens = 0, flag = 0, bits = 0, map = 0, aux = 0;
    std::int64_t charge = 0;
    if (!Var32(in, atomic_num) || !Var32(in, isotope) || !Zig(in, charge) || !U8(in, hydrogens) || !U8(in, flag) ||
        !U8(in, bits) || !Var32(in, map) || !Var32(in, aux))
      return kSize;
    QvAtomBase* atom = mol.NewAtom(atomic_num);
    // A new atom holds zeros: only other values are set.
    if (!atom || atom->GetAtomicNum() != atomic_num || (isotope && !atom->SetIsotope(isotope)) ||
        charge < INT32_MIN || charge > INT32_MAX || (charge && !atom->SetFormalCharge(static_cast<int>(charge))) ||
        (hydrogens && !atom->SetImplicitHCount(hydrogens)) || (map && !atom->SetMapIdx(map)))
      return kCheck;
    if (flag) atom->SetFlag(static_cast<std::uint8_t>(flag));
    if (aux) atom->SetAux(aux);
    if (bits & kAromatic) atom->SetAromatic(true);
    if (bits & kInRing) atom->SetInRing(true);
    made.push_back(atom);
  }
  for (std::uint64_t i = 0; i < bonds; ++i) {
    std::uint64_t bgn = 0, end = 0;
    unsigned order = 0, bits = 0, type = 0;
    if (!Var(in, bgn) || !Var(in, end) || !Var32(in, order) || !U8(in, bits) || !Var32(in, type)) return kSize;
    if (bgn >= atoms || end >= atoms) return kCheck;
    QvBondBase* bond = mol.NewBond(made[bgn], made[end], order);
    if (!bond || bond->GetOrder() != order || !bond->SetIntType(type)) return kCheck;
    if (bits & kAromatic) bond->SetAromatic(true);
    if (bits & kInRing) bond->SetInRing(true);
  }
  pending_perceived = perceived;
  return in.at_end() ? kOk : kSize;
}

// ---- coordinates, title, energy, dimension ----

// The molecule's coordinates in atom order; empty when all are (0, 0, 0).
std::vector<float> AtomCoords(const QvMolBase& mol, const QvConfBase* conf) {
  std::vector<float> all(3 * static_cast<std::size_t>(mol.GetMaxAtomIdx()));
  if (conf ? !conf->GetCoords(all.data()) : !mol.GetCoords(all.data())) return {};
  std::vector<float> out;
  out.reserve(3 * static_cast<std::size_t>(mol.NumAtoms()));
  bool any = false;
  for (const QvAtomBase& atom : mol.GetAtoms())
    for (unsigned k = 0; k < 3; ++k) {
      const float v = all[3 * static_cast<std::size_t>(atom.GetIdx()) + k];
      any = any || v != 0.0f;
      out.push_back(v);
    }
  if (!any) out.clear();
  return out;
}

std::string MarkedFloats(const float* values, std::size_t n) {
  std::string out(1, static_cast<char>(kMarker));
  out.append(reinterpret_cast<const char*>(values), n * sizeof(float));
  return out;
}

QVBReturn ReadFloatCoord(QVBCursor& in, QvMolBase& mol, const QvBinaryIOHandler&) {
  unsigned marker = 0;
  if (!U8(in, marker)) return kSize;
  const std::size_t n = 3 * static_cast<std::size_t>(mol.NumAtoms());
  if (in.left() != n * sizeof(float) || mol.GetMaxAtomIdx() != mol.NumAtoms()) return kSize;
  thread_local std::vector<float> xyz;
  xyz.resize(n);
  if (n) std::memcpy(xyz.data(), in.pos(), n * sizeof(float));  // no atoms: data() may be null
  if (marker != kMarker)
    for (float& v : xyz) v = Swapped(v);
  const unsigned char* rest = nullptr;
  in.take(in.left(), rest);
  if (!mol.SetCoords(xyz.data())) return kCheck;
  mol.SetDimension(3);
  return kOk;
}

template <class T>
QVBReturn ReadTitle(QVBCursor& in, T& object, const QvBinaryIOHandler&) {
  std::string_view title;
  in.take(in.left(), title);
  object.SetTitle(std::string(title));
  return kOk;
}

template <class T>
QVBReturn ReadEnergy(QVBCursor& in, T& object, const QvBinaryIOHandler&) {
  unsigned marker = 0;
  float energy = 0.0f;
  if (!U8(in, marker) || !Raw(in, energy) || !in.at_end()) return kSize;
  object.SetEnergy(marker == kMarker ? energy : Swapped(energy));
  return kOk;
}

template <class T>
QVBReturn ReadDimension(QVBCursor& in, T& object, const QvBinaryIOHandler&) {
  unsigned dimension = 0;
  if (!U8(in, dimension) || !in.at_end()) return kSize;
  return object.SetDimension(dimension) ? kOk : kCheck;
}

std::string EnergyPayload(float energy) { return MarkedFloats(&energy, 1); }

bool WantsEnergy(float energy) { return energy != 0.0f && !std::isnan(energy); }

// ---- generic data ----

template <class T>
QVBReturn ReadObjectData(QVBCursor& in, T& object, const QvBinaryIOHandler&) {
  return ReadData(in, &object, nullptr);
}

template <bool Atoms>
QVBReturn ReadOwnedData(QVBCursor& in, QvMolBase& mol, const QvBinaryIOHandler&) {
  thread_local std::vector<Sorvil::QvBase*> owners;
  owners.clear();
  if constexpr (Atoms) {
    for (QvAtomBase& atom : mol.GetAtoms()) owners.push_back(&atom);
  } else {
    for (QvBondBase& bond : mol.GetBonds()) owners.push_back(&bond);
  }
  return ReadData(in, nullptr, &owners);
}

template <class Range>
std::string OwnedDataPayload(Range objects) {
  DataWriter writer;
  long position = 0;
  for (const auto& object : objects) writer.Items(object, position++);
  return writer.Lists() ? writer.Finish(true) : std::string();
}

std::string ObjectDataPayload(const Sorvil::QvBase& object) {
  DataWriter writer;
  return writer.Items(object) ? writer.Finish(false) : std::string();
}

// The records a graph molecule and a multi-conformer molecule share.
void AppendGraphRecords(std::string& out, const QvMolBase& mol) {
  if (*mol.GetTitle()) Sorvil::QVBAppendRecord(out, "QvMolTitle", mol.GetTitle());
  Sorvil::QVBAppendRecord(out, "QvMolCT", CTPayload(mol));
}

void AppendDataRecords(std::string& out, const QvMolBase& mol) {
  Sorvil::QVBAppendRecord(out, "QvBasePOD", ObjectDataPayload(mol));
  Sorvil::QVBAppendRecord(out, "QvAtomPOD", OwnedDataPayload(mol.GetAtoms()));
  Sorvil::QVBAppendRecord(out, "QvBondPOD", OwnedDataPayload(mol.GetBonds()));
  AppendUnknownRecords(out, mol);
}

// ---- the graph molecule record ----

QVBReturn ReadMolRecord(QVBCursor& in, QvMolBase& mol, const QvBinaryIOHandler& handler) {
  mol.SetDimension(3);
  pending_perceived = 0;
  const QVBReturn result = handler.ReadRecords(in, mol, QvMolBase::TypeId);
  mol.ClearPerceived();
  mol.SetPerceived(pending_perceived, true);
  return result;
}

std::string MolPayload(const QvMolBase& mol) {
  std::string out;
  AppendGraphRecords(out, mol);
  if (mol.HasAtoms()) {
    const std::vector<float> xyz = AtomCoords(mol, nullptr);
    if (!xyz.empty()) Sorvil::QVBAppendRecord(out, "QvMolFloatCoord", MarkedFloats(xyz.data(), xyz.size()));
    if (WantsEnergy(mol.GetEnergy())) Sorvil::QVBAppendRecord(out, "QvMolEnergy", EnergyPayload(mol.GetEnergy()));
  }
  // After the coordinates, which set 3.
  if (mol.GetDimension() != 3) {
    const char dimension = static_cast<char>(mol.GetDimension());
    Sorvil::QVBAppendRecord(out, "QvMolDimension", std::string_view(&dimension, 1));
  }
  AppendDataRecords(out, mol);
  return out;
}

// ---- conformers ----

enum class CoordForm { Float, Half, Double };

template <CoordForm Form>
QVBReturn ReadConfRecord(QVBCursor& in, QvMCMolBase& mol, const QvBinaryIOHandler& handler) {
  unsigned marker = 0;
  if (!U8(in, marker)) return kSize;
  const std::size_t n = 3 * static_cast<std::size_t>(mol.NumAtoms());
  const std::size_t width = Form == CoordForm::Half ? 2 : Form == CoordForm::Float ? 4 : 8;
  const unsigned char* bytes = nullptr;
  if (mol.GetMaxAtomIdx() != mol.NumAtoms() || !in.take(n * width, bytes)) return kSize;
  std::vector<float> xyz(n);
  for (std::size_t i = 0; i < n; ++i) {
    if constexpr (Form == CoordForm::Half) {
      std::uint16_t h = 0;
      std::memcpy(&h, bytes + 2 * i, 2);
      xyz[i] = Pellar::QvHalfToFloat(marker == kMarker ? h : __builtin_bswap16(h));
    } else if constexpr (Form == CoordForm::Float) {
      std::memcpy(&xyz[i], bytes + 4 * i, 4);
      if (marker != kMarker) xyz[i] = Swapped(xyz[i]);
    } else {
      std::uint64_t bits = 0;
      std::memcpy(&bits, bytes + 8 * i, 8);
      if (marker != kMarker) bits = __builtin_bswap64(bits);
      xyz[i] = static_cast<float>(std::bit_cast<double>(bits));
    }
  }
  QvConfBase* conf = mol.NewConf(xyz.data());
  if (!conf) return kCheck;
  conf->SetDimension(3);
  return handler.ReadRecords(in, *conf, QvConfBase::TypeId);
}

std::string ConfPayload(const QvMCMolBase& mol, const QvConfBase& conf, bool half) {
  std::vector<float> xyz = AtomCoords(mol, &conf);
  xyz.resize(3 * static_cast<std::size_t>(mol.NumAtoms()), 0.0f);
  std::string out(1, static_cast<char>(kMarker));
  if (half) {
    for (const float v : xyz) {
      const std::uint16_t h = Pellar::QvFloatToHalf(v);
      out.append(reinterpret_cast<const char*>(&h), 2);
    }
  } else {
    out.append(reinterpret_cast<const char*>(xyz.data()), xyz.size() * sizeof(float));
  }
  if (*conf.GetTitle()) Sorvil::QVBAppendRecord(out, "QvConfTitle", conf.GetTitle());
  if (WantsEnergy(conf.GetEnergy())) Sorvil::QVBAppendRecord(out, "QvConfEnergy", EnergyPayload(conf.GetEnergy()));
  if (conf.GetDimension() != 3) {
    const char dimension = static_cast<char>(conf.GetDimension());
    Sorvil::QVBAppendRecord(out, "QvConfDimension", std::string_view(&dimension, 1));
  }
  Sorvil::QVBAppendRecord(out, "QvConfPOD", ObjectDataPayload(conf));
  AppendUnknownRecords(out, conf);
  return out;
}

// ---- the multi-conformer record ----

QVBReturn ReadMCChildren(QVBCursor& in, QvMCMolBase& mol, const QvBinaryIOHandler& handler) {
  pending_perceived = 0;
  const QVBReturn result = handler.ReadRecords(in, mol, QvMCMolBase::TypeId);
  mol.ClearPerceived();
  mol.SetPerceived(pending_perceived, true);
  return result;
}

QVBReturn ReadMCRecord(QVBCursor& in, QvMCMolBase& mol, const QvBinaryIOHandler& handler, std::string_view method) {
  if (method.empty()) return ReadMCChildren(in, mol, handler);
  std::string_view packed;
  in.take(in.left(), packed);
  std::string bytes;
  if (!QvDecompress(method, packed, bytes) || bytes.empty()) return kCheck;
  QVBCursor children(bytes);
  return ReadMCChildren(children, mol, handler);
}

QVBReturn ReadMC(QVBCursor& in, QvMCMolBase& mol, const QvBinaryIOHandler& handler) {
  return ReadMCRecord(in, mol, handler, "");
}
QVBReturn ReadZstdMC(QVBCursor& in, QvMCMolBase& mol, const QvBinaryIOHandler& handler) {
  return ReadMCRecord(in, mol, handler, "zstd");
}
QVBReturn ReadGzipMC(QVBCursor& in, QvMCMolBase& mol, const QvBinaryIOHandler& handler) {
  return ReadMCRecord(in, mol, handler, "gz");
}

// A graph molecule written as a multi-conformer record has one conformer
// with its coordinates, energy and dimension.
std::string MCPayload(const QvMolBase& mol) {
  std::string out;
  AppendGraphRecords(out, mol);
  AppendDataRecords(out, mol);
  if (const auto* mc = Sorvil::QvCast<QvMCMolBase>(&mol)) {
    const bool half = mc->GetData<bool>(Sorvil::QvGetTag(kQvHalfFloatConfsTag));
    for (const QvConfBase& conf : mc->GetConfs())
      Sorvil::QVBAppendRecord(out, half ? "QvMCMolCartConfHalfFloat" : "QvMCMolCartConf",
                              ConfPayload(*mc, conf, half));
    return out;
  }
  QvMol single;
  if (!single.Copy(mol) || !single.GetActive()) return {};
  Sorvil::QVBAppendRecord(out, "QvMCMolCartConf", ConfPayload(single, *single.GetActive(), false));
  return out;
}

// Records are small and written once: the strongest ordinary level costs
// little per record, and the context is kept per thread.
bool ZstdCompress(std::string_view in, std::string& out) {
  thread_local std::unique_ptr<ZSTD_CCtx, decltype(&ZSTD_freeCCtx)> ctx(ZSTD_createCCtx(), ZSTD_freeCCtx);
  if (!ctx) return false;
  out.resize(ZSTD_compressBound(in.size()));
  const std::size_t n = ZSTD_compressCCtx(ctx.get(), out.data(), out.size(), in.data(), in.size(), 19);
  if (ZSTD_isError(n)) return false;
  out.resize(n);
  return true;
}

// One decompression context per thread: making one costs more than
// decompressing a small record.
ZSTD_DCtx* ZstdContext() {
  thread_local std::unique_ptr<ZSTD_DCtx, decltype(&ZSTD_freeDCtx)> ctx(ZSTD_createDCtx(), ZSTD_freeDCtx);
  if (ctx) ZSTD_DCtx_reset(ctx.get(), ZSTD_reset_session_only);
  return ctx.get();
}

bool ZstdDecompress(std::string_view in, std::string& out) {
  ZSTD_DCtx* ctx = ZstdContext();
  if (!ctx) return false;
  // The size a single frame declares is trusted only as far as the input
  // could plausibly expand; beyond that the output grows as it is produced.
  const unsigned long long declared = ZSTD_getFrameContentSize(in.data(), in.size());
  if (declared != ZSTD_CONTENTSIZE_UNKNOWN && declared != ZSTD_CONTENTSIZE_ERROR &&
      declared <= 64 * in.size() + 4096 && ZSTD_findFrameCompressedSize(in.data(), in.size()) == in.size()) {
    out.resize(static_cast<std::size_t>(declared));
    const std::size_t n = ZSTD_decompressDCtx(ctx, out.data(), out.size(), in.data(), in.size());
    return !ZSTD_isError(n) && n == declared;
  }
  ZSTD_inBuffer source{in.data(), in.size(), 0};
  std::size_t used = 0;
  out.resize(std::min(kQvMaxInflated, 4 * in.size() + 1024));
  for (;;) {
    ZSTD_outBuffer target{out.data() + used, out.size() - used, 0};
    const std::size_t result = ZSTD_decompressStream(ctx, &target, &source);
    if (ZSTD_isError(result)) return false;
    used += target.pos;
    if (result == 0 && source.pos == source.size) break;
    if (used == out.size()) {
      // Output grows only when it is full, so memory follows what the
      // frames actually hold.
      if (out.size() >= kQvMaxInflated) return false;
      out.resize(std::min(kQvMaxInflated, 2 * out.size()));
    } else if (source.pos == source.size) {
      return false;  // a frame cut short
    }
  }
  out.resize(used);
  return true;
}

bool GzipDecompress(std::string_view in, std::string& out) {
  if (in.empty()) return false;
  Pellar::qvisstream raw(in.data(), in.size());
  Pellar::qvigzstream gz(raw);
  char chunk[2048];
  for (;;) {
    const std::size_t n = gz.read(chunk, sizeof chunk);
    if (out.size() + n > kQvMaxInflated) return false;
    out.append(chunk, n);
    if (n < sizeof chunk) break;
  }
  // The gzip stream reports a damaged member itself and passes data
  // without the gzip magic through unchanged.
  return !out.empty();
}

}  // namespace

bool QvDecompress(std::string_view method, std::string_view in, std::string& out) {
  out.clear();
  if (method == "zstd") return ZstdDecompress(in, out);
  if (method == "gz") return GzipDecompress(in, out);
  return false;
}

const QvBinaryIOHandler& QvDefaultBinaryHandler() {
  using Mol = QvMolBase;
  using MC = QvMCMolBase;
  using Conf = QvConfBase;
  // Records the two molecule kinds share are read into either as a QvMolBase.
  static const QvReadFxn<Mol> mol_record("QvMolBase", ReadMolRecord);
  static const QvReadFxn<Mol> title("QvMolTitle", ReadTitle<Mol>);
  static const QvReadFxn<Mol> ct("QvMolCT", ReadCT);
  static const QvReadFxn<Mol> coords("QvMolFloatCoord", ReadFloatCoord);
  static const QvReadFxn<Mol> energy("QvMolEnergy", ReadEnergy<Mol>);
  static const QvReadFxn<Mol> dimension("QvMolDimension", ReadDimension<Mol>);
  static const QvReadFxn<Mol> mol_data("QvBasePOD", ReadObjectData<Mol>);
  static const QvReadFxn<Mol> atom_data("QvAtomPOD", ReadOwnedData<true>);
  static const QvReadFxn<Mol> bond_data("QvBondPOD", ReadOwnedData<false>);
  static const QvReadFxn<Mol> mc_title("QvMolTitle", ReadTitle<Mol>, MC::TypeId);
  static const QvReadFxn<Mol> mc_ct("QvMolCT", ReadCT, MC::TypeId);
  static const QvReadFxn<Mol> mc_data("QvBasePOD", ReadObjectData<Mol>, MC::TypeId);
  static const QvReadFxn<Mol> mc_atom_data("QvAtomPOD", ReadOwnedData<true>, MC::TypeId);
  static const QvReadFxn<Mol> mc_bond_data("QvBondPOD", ReadOwnedData<false>, MC::TypeId);
  static const QvReadFxn<MC> conf_float("QvMCMolCartConf", ReadConfRecord<CoordForm::Float>);
  static const QvReadFxn<MC> conf_half("QvMCMolCartConfHalfFloat", ReadConfRecord<CoordForm::Half>);
  static const QvReadFxn<MC> conf_double("QvMCMolCartConfDouble", ReadConfRecord<CoordForm::Double>);
  static const QvReadFxn<MC> mc_plain("QvMCMolBase", ReadMC);
  static const QvReadFxn<MC> mc_gzip("zQvMCMolBase", ReadGzipMC);
  static const QvReadFxn<MC> mc_zstd("zstdQvMCMolBase", ReadZstdMC);
  static const QvReadFxn<Conf> conf_data("QvConfPOD", ReadObjectData<Conf>);
  static const QvReadFxn<Conf> conf_title("QvConfTitle", ReadTitle<Conf>);
  static const QvReadFxn<Conf> conf_energy("QvConfEnergy", ReadEnergy<Conf>);
  static const QvReadFxn<Conf> conf_dimension("QvConfDimension", ReadDimension<Conf>);
  static const QvBinaryIOHandler handler = [] {
    QvBinaryIOHandler h;
    const Sorvil::QvReadFxnBase* const order[] = {
        &mol_record, &title,      &ct,          &coords,      &energy,       &dimension,   &mol_data,
        &atom_data,  &bond_data,   &conf_float,  &conf_half,    &conf_double, &mc_plain,
        &mc_gzip,    &mc_zstd,    &mc_title,    &mc_ct,       &mc_data,      &mc_atom_data,
        &mc_bond_data, &conf_data, &conf_title, &conf_energy, &conf_dimension};
    for (const Sorvil::QvReadFxnBase* fxn : order) h.Register(*fxn);
    return h;
  }();
  return handler;
}

bool QvAppendQVBRecord(std::string& out, const QvMolBase& mol, QvQVBForm form) {
  const bool graph = !Sorvil::QvCast<QvMCMolBase>(&mol);
  if (graph && form == QvQVBForm::Plain) return Sorvil::QVBAppendRecord(out, "QvMolBase", MolPayload(mol));
  const std::string payload = MCPayload(mol);
  if (payload.empty()) return false;
  if (form != QvQVBForm::Zstd) return Sorvil::QVBAppendRecord(out, "QvMCMolBase", payload);
  std::string packed;
  return ZstdCompress(payload, packed) && Sorvil::QVBAppendRecord(out, "zstdQvMCMolBase", packed);
}

Sorvil::QVBReturn QvReadQVBRecord(Pellar::qvistream& in, QvMCMolBase& mol, std::string& buffer, bool* lost) {
  std::string tag;
  if (!Sorvil::QVBPeekTag(in, tag)) return Sorvil::QVBEndOfFile;
  if (tag != "QvMolBase") return QvDefaultBinaryHandler().ReadRecord(in, mol, QvMCMolBase::TypeId, buffer, lost);
  QvGraphMol graph;
  const QVBReturn result = QvDefaultBinaryHandler().ReadRecord(in, graph.GetMol(), QvMolBase::TypeId, buffer, lost);
  if (result == kOk && !mol.Copy(graph.GetMol())) return kCheck;
  return result;
}

Sorvil::QVBReturn QvReadQVBRecord(Pellar::qvistream& in, QvMolBase& mol, std::string& buffer,
                                  std::vector<std::unique_ptr<QvMolBase>>* more, bool* lost) {
  std::string tag;
  if (!Sorvil::QVBPeekTag(in, tag)) return Sorvil::QVBEndOfFile;
  if (tag == "QvMolBase") return QvDefaultBinaryHandler().ReadRecord(in, mol, QvMolBase::TypeId, buffer, lost);
  QvMol mc;
  const QVBReturn result = QvDefaultBinaryHandler().ReadRecord(in, mc, QvMCMolBase::TypeId, buffer, lost);
  if (result != kOk || mc.NumConfs() == 0) return result;
  bool first = true;
  for (const QvConfBase& conf : mc.GetConfs()) {
    if (first) {
      if (!QvCopyConf(mol, conf)) return kCheck;
      first = false;
    } else if (more) {
      auto next = std::make_unique<QvGraphMolImpl>();
      if (!QvCopyConf(*next, conf)) return kCheck;
      more->push_back(std::move(next));
    }
  }
  return kOk;
}

}  // namespace Tamrin
