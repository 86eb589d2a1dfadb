#include "DocumentsFixture.h"

namespace {

class DocumentsTest : public qbtest::DocumentsFixture
{
};

} // namespace
