#include "binding/front_ends/multi_settings.hpp"

namespace corvalinth::py {

Turbulence parse_turbulence(const std::string& name) {
  if (name == "decaying") return Turbulence::Decaying;
  if (name == "polynomial") return Turbulence::Polynomial;
  raise(PyExc_ValueError, "unknown turbulence: '" + name + "'. Available: decaying, polynomial");
}

SwarmSelection parse_swarm_selection(const std::string& name) {
  if (name == "none") return SwarmSelection::None;
  if (name == "nondominated") return SwarmSelection::Nondominated;
  raise(PyExc_ValueError, "unknown swarm_selection: '" + name + "'. Available: none, nondominated");
}

ArchiveCrossover parse_crossover(const std::string& name) {
  if (name == "sbx") return ArchiveCrossover::Sbx;
  if (name == "de") return ArchiveCrossover::Differential;
  raise(PyExc_ValueError, "unknown crossover: '" + name + "'. Available: sbx, de");
}

DiversityStrategy parse_strategy(const std::string& truncation,
                                 std::optional<std::uint64_t> grid_divisions) {
  if (truncation == "hypervolume") {
    if (grid_divisions) {
      raise(PyExc_ValueError,
            "archive_truncation='hypervolume' cannot be combined with grid_divisions");
    }
    return LeastContribution{};
  }
  if (truncation != "crowding") {
    raise(PyExc_ValueError,
          "unknown archive_truncation: '" + truncation + "'. Available: crowding, hypervolume");
  }
  return grid_divisions ? DiversityStrategy{Grid{*grid_divisions}} : DiversityStrategy{Crowding{}};
}

}  // namespace corvalinth::py
