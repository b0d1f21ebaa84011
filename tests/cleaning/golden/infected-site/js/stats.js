var visits = 0;
document.write("");
function count() { visits++; }
