.PHONY: demo test build clean
demo:
	scripts/demo.sh
test:
	scripts/test.sh
build:
	scripts/setup.sh build
clean:
	rm -rf build
screenshot:
	scripts/screenshot.sh
