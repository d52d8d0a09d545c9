#pragma once

#include <qcoro/qcorotask.h>

// KWallet, the secret store of a Plasma session. Opening a wallet that does not
// exist yet starts KWallet's "create a wallet" wizard, so a read at start-up
// would put that wizard in front of a DJ who has never signed in.
namespace KWallet {
// Whether the secret-store library reads from KWallet here: a Plasma 5 session
// by the same signs the library looks for (it then asks kwalletd whether it runs).
bool isTheSessionStore();

// True only when kwalletd answers that the wallet the library would open (the
// "network wallet") does not exist, so nothing can be stored in it; false when it
// exists, when kwalletd does not answer, or outside a Plasma session. Opens no
// wallet and never shows a dialog.
QCoro::Task<bool> hasNoWallet();
} // namespace KWallet
