// Everything of the molecule model in one include.
#pragma once

#include "sorvil/base/qvbase.h"
#include "sorvil/base/tagdata.h"
#include "tamrin/model/graphmol.h"
#include "tamrin/model/mcmol.h"
#include "tamrin/model/molbin.h"
#include "tamrin/model/molimpl.h"
#include "tamrin/model/residue.h"
