#include "services/cProgId.h"

namespace ravlon {

TProgId::TProgId(QObject* parent) : QObject(parent), copyright_(kMakerCopyright) {}

} // namespace ravlon
