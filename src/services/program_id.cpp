#include "services/program_id.h"

namespace ravlon {

TProgId::TProgId(QObject* parent) : QObject(parent), copyright_(kMakerCopyright) {}

} // namespace ravlon
