// Drop-down menu
function openMenu(id) {
  document.getElementById(id).style.display = "block";
}
