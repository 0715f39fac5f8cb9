// Brindle: the shared C++ library. Including this header gives every public
// class of the library; each header says its own contract.
#pragma once

#include "Brindle/base/Callback.h"
#include "Brindle/base/CritSec.h"
#include "Brindle/base/Crypt.h"
#include "Brindle/base/Datasink.h"
#include "Brindle/base/Exception.h"
#include "Brindle/base/SerialPort.h"
#include "Brindle/base/SerialSettings.h"
#include "Brindle/base/SyncObjects.h"
#include "Brindle/base/ClassicLocale.h"
#include "Brindle/base/Timestamp.h"
#include "Brindle/base/Buffer.h"
#include "Brindle/base/RefCountedPtr.h"
#include "Brindle/base/TextBuffer.h"
#include "Brindle/comm/Msg.h"
#include "Brindle/comm/Var.h"
#include "Brindle/comm/Variant.h"
#include "Brindle/base/TextUtil.h"
#include "Brindle/base/NumberList.h"
#include "Brindle/base/Tokenizer.h"
