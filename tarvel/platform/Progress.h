/// \file
/// Progress of long work. The factorizations (Cholesky of CSparseMatrix, CSystSpMat and
/// CSkylineMatrix, and the Cholesky_Solve members through them; CSupernodalCholesky::Factorize),
/// every reordering of CReorderMat, and the conjugate-gradient iterations (ConjGradient,
/// ConjGradient2) tell how far they are through a replaceable process-wide handler. By default
/// there is none, and a phase then costs one load of a flag at its start and one comparison per
/// step.
///
/// Calls: a phase calls the handler once with done = 0 when it starts, then whenever its share
/// done has grown by at least 1 / kProgressSteps since the last call (an iteration also when its
/// count has doubled), and once with done = 1 when it completes (not after a failure). So a
/// phase makes at most kProgressSteps + 2 calls, plus log2 of its iterations, with done never
/// decreasing. The factorizations count columns (rows) eliminated, the supernodal one its
/// multiply-adds; the reorderings count DOFs labelled (or exchange steps), except RevCuthillMcKee,
/// Sloan and SloanExchange, which count their labellings and searches; the iterations measure
/// log(residual) against log(tol).
///
/// Threads: as AfxSetMessageBoxHandler (MessageBox.h): a phase runs the handler installed when
/// it began; a handler shared by threads may be called concurrently. The calls of one phase come
/// from the thread that started it, also when the phase spreads its work over threads.
#pragma once

#include <tarvel/platform/Export.h>

#include <functional>
#include <memory>

/// The steps of a phase between two calls are at least a kProgressSteps-th of its work.
constexpr int kProgressSteps = 100;

/// One call of the progress handler: which phase, how far it is.
struct TarvelProgress
{
    const char* task;  ///< "Cholesky" (every factorization), the reordering's member name
                       ///< ("Hager2", "MinDegReorder4", ...), "ConjGradient", "ConjGradient2"
    double done;       ///< share done, 0 to 1
    int iteration;     ///< iterations made (the conjugate gradients); -1 for the others
    double residual;   ///< the conjugate gradients: what their stopping test compares with tol
};

/// What receives the calls of every phase in the process.
using TarvelProgressHandler = std::function<void(const TarvelProgress& progress)>;

/// Installs a handler and returns the previous one; an empty handler removes it (no progress).
TARVEL_API TarvelProgressHandler TarvelSetProgressHandler(TarvelProgressHandler handler);

/// The handler installed now, or null when there is none (then at the cost of one load of a
/// flag). A phase takes it once when it starts and calls it throughout, also after it has been
/// replaced; components built on the library (Tarvel::Direct) report their phases through it.
TARVEL_API std::shared_ptr<const TarvelProgressHandler> TarvelGetProgressHandler();
