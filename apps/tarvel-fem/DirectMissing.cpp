// Stand-in for DirectRoad.cpp when Tarvel::Direct was not built: Options.cpp refuses
// --road direct with its reason, so this road is never taken.
#include "DemoRoads.h"

namespace tarvel_demo
{

bool direct_built_in() { return false; }

RoadOutcome direct_road(tarvel_fem::FemProblem&, std::ostream&)
{
    RoadOutcome r;
    r.road = Road::Direct;
    r.failure = "not built in";
    return r;
}

}  // namespace tarvel_demo
