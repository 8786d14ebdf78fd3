#include "sorvil/grid/fixedgrid.h"

namespace Sorvil {

template class QvFixedGrid<float>;

}  // namespace Sorvil
