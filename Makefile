# Single entry point: `make run` starts Tessary, `make test` runs every test.
# Both install what they need first.
.PHONY: deps run test test-page check preview bench

deps:
	@scripts/install-deps.sh

run: deps preview

check: deps
	npx tsc -p tsconfig.json
	npx eslint .

test-page: deps
	node --test --test-concurrency=1 tests/node/ tests/browser/

test: check test-page

preview: deps
	node scripts/preview.js

bench: deps
	node scripts/bench.js
