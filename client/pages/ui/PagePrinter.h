// Printing of page documents on a paged device (a printer, a PDF file):
// one document per printed page, each with its print header (title and
// time of printing) and its lines drawn with the print format. Lines the
// line cache lacks leave their space empty; lines that do not fit the page
// are not drawn.
//
// Thread-safety: the window thread only.
#pragma once

#include "pages/MAVODoc.h"
#include "pages/PageEnvironment.h"
#include "pages/PageFormat.h"

#include <vector>

class QPagedPaintDevice;

namespace mavo {

// False when there is nothing to print or the device cannot be painted on.
bool PrintDocuments(QPagedPaintDevice& device, const std::vector<const CMAVODoc*>& documents,
                    const CPageFormat& printFormat, const CPageEnvironment& environment, const CPageFeed& feed);

} // namespace mavo
