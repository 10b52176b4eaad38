#include "XmlFuzzBody.h"

#include "updater/PadFile.h"
#include "updater/XmlReader.h"

#include <cstdlib>
#include <string>

namespace vistrel::test {

namespace {

void Require(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

void FuzzXmlReaderOne(const std::uint8_t* data, std::size_t size)
{
    const std::string doc(reinterpret_cast<const char*>(data), size);
    CXmlReader reader;
    const bool loaded = reader.Load(doc);
    Require(loaded == reader.FindElement(""));
    Require(!loaded || reader.GetError().empty());

    // Depth-first walk over every element: each child found can be entered, each level left.
    reader.ResetPosition();
    reader.FindElement("");
    std::size_t steps = 0;
    while (steps++ <= 2 * size + 2) {
        if (reader.FindChild("")) {
            Require(reader.GetChildText().size() <= size);
            Require(!reader.GetElementName(reader.ChildPosition()).empty());
            Require(reader.EnterChild());
            continue;
        }
        if (!reader.LeaveElement())
            break;
    }
    Require(steps <= 2 * size + 2);
    Require(reader.Depth() == 0);
    for (int i = -1; i < 64; ++i)
        Require(reader.GetElementName(i).size() <= size);

    LocalPadInfo local;
    ReadLocalPad(doc, local);
    RemotePadInfo remote;
    ReadRemotePad(doc, local.strProgramName, remote);
}

} // namespace vistrel::test
