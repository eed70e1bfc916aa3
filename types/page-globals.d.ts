// Globals shared by the page scripts. Each script hangs its module off
// window.TY; the host injects window.chrome.webview and window.kobHost.
interface Window {
  TY: any;
  kobHost: any;
  chrome: any;
  __requestExit?: () => void;
}
declare var TY: any;
