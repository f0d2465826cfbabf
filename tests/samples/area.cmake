# The sample generator and the end-to-end accuracy check on the shipped
# samples (runs ranvista-cli measure over every ground-truth point).
if(TARGET samplegen)
  find_package(Qt6 REQUIRED COMPONENTS Gui)
  find_package(nlohmann_json 3 REQUIRED)
  ranvista_test_area(samples LIBS samplegen cli nlohmann_json::nlohmann_json Qt6::Gui)
endif()
