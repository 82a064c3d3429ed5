# What `cmake --graphviz` draws of the build (docs/dependencies.dot, the picture in docs/inside.md): the
# product's libraries and programs and the tools, with the direction of their dependencies; not the tests,
# GoogleTest, the fuzzers or the system's libraries.
set(GRAPHVIZ_GRAPH_NAME "quillery")
set(GRAPHVIZ_EXTERNAL_LIBS FALSE)
set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)
set(GRAPHVIZ_GENERATE_DEPENDERS FALSE)
set(GRAPHVIZ_CUSTOM_TARGETS FALSE)
set(GRAPHVIZ_IGNORE_TARGETS "^gtest" "_tests?$" "_tests?_" "^fuzz_" "^bench_" "_testing$" "^quillery_test_support$"
    "^quillery_signature_rows$" "^QuilleryPlanted$" "^quillery-planted$" "^quillery_memory_registry$"
    "^quillery_json_reader$" "^settings-version-probe$")
